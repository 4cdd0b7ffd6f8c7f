// How a mail reader's command line is read, by the monitor that starts it and
// by the setup program that fills it in: which program it names, what the
// system is given to start, and in which folder. Portable: no Windows headers.
#pragma once

#include <optional>
#include <string>

struct ReaderCommand {
    // The program as named, without quotation marks; empty when the line
    // names none that could be started.
    std::string Program;
    // The line as the system gets it: the program in quotation marks, so
    // that no other file can be taken for it, and the rest as typed.
    std::string CommandLine;
    // The program's folder; nothing for a bare name, which starts in the
    // monitor's own current folder.
    std::optional<std::string> Folder;
};

// Tells whether a text as a whole names an existing file.
using FileTest = bool (*)(const std::string& path);

// The program is the text in quotation marks when the line starts with one.
// In an unquoted line with blanks it is the longest part up to a blank, or
// the whole line, that names an existing file (namesFile) ending in .exe,
// .com, .bat or .cmd, so that paths with blanks typed without quotation marks
// keep working; failing that, the first token when it is a bare name or ends
// so; else none.
ReaderCommand ReadReaderCommand(const std::string& line, FileTest namesFile);

// A chosen program's path as the mail-reader field holds it: in quotation
// marks when it contains a blank.
std::string ReaderFieldText(const std::string& path);
