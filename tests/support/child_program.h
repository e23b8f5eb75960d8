#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace zarvo::test {

// A program run as a child with pipes on its standard input and output, for
// programs that answer each command line with one line (the HID emulator) or
// greet with a line (the fake web service).
// Killed on destruction if it has not ended.
class child_program {
public:
    child_program(const std::string& path, const std::vector<std::string>& arguments);
    ~child_program();
    child_program(const child_program&) = delete;
    child_program& operator=(const child_program&) = delete;

    // Sends one command and returns its answer line ("" after a time-out).
    std::string command(const std::string& line);
    // The next line the program writes ("" after timeout_ms or at its end).
    std::string read_line(int timeout_ms = 20000);
    // Asks the program to end (SIGTERM).
    void terminate();
    void close_input();
    // The exit status once the program has ended; -1 when it did not end.
    int wait_exit();

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool exited_ = false;
    std::string buffer_;
};

} // namespace zarvo::test
