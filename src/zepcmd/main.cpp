// zepcmd: the command interpreter of ZEP's console. Reads command lines from
// standard input and runs them one after the other.
#include "zepcmd/Interpreter.h"

#include <QCoreApplication>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    zep::cmd::Interpreter interpreter;
    interpreter.setFailureFile(qEnvironmentVariable("ZEPCMD_FAILED"));
    // In a terminal the terminal shows what is typed; otherwise show it
    // after the prompt ourselves.
    const bool echoInput = ::isatty(STDIN_FILENO) == 0;
    return interpreter.run(std::cin, echoInput);
}
