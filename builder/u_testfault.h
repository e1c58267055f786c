// Failures the tests force at the two points that no real effect reaches under Wine: a packing
// thread that cannot start, and a chunk buffer that cannot be allocated (Wine does not enforce a
// job's memory limit). QUILLET_TEST_FAULT=thread or QUILLET_TEST_FAULT=alloc, read once at
// start-up; only the tests set it, and without it nothing changes.
#pragma once

enum class TestFault { None, ThreadStart, Allocation };

// Reads QUILLET_TEST_FAULT; the entry calls it once.
void ReadTestFault();
TestFault ForcedTestFault();
