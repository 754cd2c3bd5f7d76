// Where the front ends' texts go. vog.exe writes results to standard output and what went wrong
// to standard error. vogw.exe, which has no console, gathers both and shows them in one message
// box titled "Vog" when it ends; what went wrong also goes to a standard error handle that it was
// given (a program that started it with redirected handles, such as a test, reads it there).
//
// Texts are in the system code page, as the engine's names are. A console is written in UTF-16,
// so that names show as they are whatever the console's code page; a file or pipe gets the bytes.
#pragma once

#include <string>

class Report {
public:
    virtual ~Report() = default;
    // One line of a result (a folder, a path, the usage).
    virtual void line(const std::string& text) = 0;
    // What was wrong and what to do, in one or more sentences.
    virtual void error(const std::string& text) = 0;
};

class ConsoleReport : public Report {
public:
    void line(const std::string& text) override;
    void error(const std::string& text) override;
};

class BoxReport : public Report {
public:
    void line(const std::string& text) override;
    void error(const std::string& text) override;

    // Shows what was gathered in one box titled "Vog" (with the error icon when something went
    // wrong), and waits for the user to close it; shows nothing when nothing was said.
    void show() const;

private:
    std::string lines;
    std::string errors;
};
