// morvane_guardian NAME: started by a run with the pipe on standard input, the folder holding
// the scratch folder as handle 3 and the scratch folder NAME as handle 4.
#include "run_guardian.h"

int main(int argc, char *argv[])
{
    if (argc != 2)
        return 2;
    return iGuardian_Main(0, 3, 4, argv[1]);
}
