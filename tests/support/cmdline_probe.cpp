// Prints how the builder reads this process's own command line: every parameter,
// then the start-up values, texts in UTF-8. The tests start it with crafted command lines.
#include <cstdio>

#include "CmdLineHelper.h"
#include "cmdparams.h"
#include "describe.h"

int main() {
    int n = CmdParamCount();
    std::printf("count=%d\n", n);
    for (int i = 1; i <= n; ++i) std::printf("param%d=[%s]\n", i, DescribeText(CmdParamStr(i)).c_str());
    std::printf("positional=%d\n", PositionalCount());
    std::fputs(DescribeStartup(ReadStartupSettings()).c_str(), stdout);
    return 0;
}
