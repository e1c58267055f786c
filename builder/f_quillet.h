// The builder's main window (class Tfquillet).
#pragma once

// Creates the main window and runs the message loop until the application ends.
void RunMainWindow();
