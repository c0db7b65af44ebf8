#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace aviolog::test {

// A program run by a test: its standard input is a pipe the test writes to, its output
// goes to a file the test can read. Killed and reaped when the object dies.
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void writeLine(const std::string& line);
    void write(const std::string& bytes);
    // Closes the pipe: the program reads the end of its input.
    void closeInput();
    void signal(int sig);
    // Waits at most timeoutMs for the process to end; its exit status, or -1.
    int wait(int timeoutMs);
    // Everything the process has printed so far.
    std::string output() const;
    // The first line it prints, waited for at most timeoutMs; empty when none came.
    std::string firstLine(int timeoutMs) const;

  private:
    pid_t pid_ = -1;
    int stdinFd_ = -1;
    std::string outputPath_;
    bool reaped_ = false;
};

}  // namespace aviolog::test
