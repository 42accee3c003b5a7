#ifndef NAMELESS_FILES_H
#define NAMELESS_FILES_H

#include <vector>

// Scratch files without names, held open until the clean-up: the kernel frees them the moment
// the program ends, however it ends (SIGKILL, a whole container or cgroup killed at once), so
// nothing has to outlive the program to give the space back.
class Nameless_Files
{
public:
    Nameless_Files() = default;
    ~Nameless_Files() { vRelease_All(); }
    Nameless_Files(const Nameless_Files &) = delete;
    Nameless_Files &operator=(const Nameless_Files &) = delete;

    // A new file in the folder open as iFolder_Fd, open for writing; the set keeps it alive.
    // Where the file system makes no nameless files, it is made with a name that goes at once.
    // -1 with errno set when none can be made.
    int iCreate(int iFolder_Fd);
    // A new handle on file number i, to write after its end; -1 when there is none.
    int iReopen(int i) const;
    int iCount() const { return int(m_lstFds.size()); }
    // Lets every file go: the kernel frees their blocks.
    void vRelease_All();

private:
    std::vector<int> m_lstFds;
};

#endif // NAMELESS_FILES_H
