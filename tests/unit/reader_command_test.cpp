// How the mail-reader line is read: which program starts, with which line, in
// which folder; and how a picked program goes into the field.
#include "reader_command.h"

#include <gtest/gtest.h>

namespace {

bool NoFileExists(const std::string&)
{
    return false;
}

// The folder with a blank in its name, beside which a Mail.exe was planted.
const std::string kReaderWithBlank = "C:\\quillo-ev\\Mail Reader\\reader.exe";

bool OnlyTheReaderWithBlankExists(const std::string& path)
{
    return path == kReaderWithBlank;
}

void ExpectStart(const std::string& line, const std::string& program, const std::string& commandLine,
                 const std::optional<std::string>& folder, FileTest namesFile = &NoFileExists)
{
    SCOPED_TRACE(line);
    const ReaderCommand reader = ReadReaderCommand(line, namesFile);
    EXPECT_EQ(reader.Program, program);
    EXPECT_EQ(reader.CommandLine, commandLine);
    EXPECT_EQ(reader.Folder, folder);
}

TEST(ReaderCommand, TheProgramIsTheFirstTokenQuotedAndStartsInItsOwnFolder)
{
    ExpectStart("C:\\Mail\\reader.exe", "C:\\Mail\\reader.exe", "\"C:\\Mail\\reader.exe\"", "C:\\Mail");
    // A backslash in an argument has nothing to do with the folder.
    ExpectStart("C:\\Mail\\reader.exe /inbox D:\\Box\\in.mbx", "C:\\Mail\\reader.exe",
                "\"C:\\Mail\\reader.exe\" /inbox D:\\Box\\in.mbx", "C:\\Mail");
    ExpectStart("reader.exe /inbox C:\\box\\in.mbx", "reader.exe", "\"reader.exe\" /inbox C:\\box\\in.mbx",
                std::nullopt);
    ExpectStart("\\reader.exe", "\\reader.exe", "\"\\reader.exe\"", std::nullopt);
    // "C:" alone would be the drive's current folder.
    ExpectStart("C:\\reader.exe", "C:\\reader.exe", "\"C:\\reader.exe\"", "C:\\");
    ExpectStart("C:/Mail/reader.exe\t-n", "C:/Mail/reader.exe", "\"C:/Mail/reader.exe\"\t-n", "C:/Mail");
}

TEST(ReaderCommand, AQuotedProgramIsTakenAsQuotedAndTheLinePassesUnchanged)
{
    const std::string quoted = "\"C:\\Mail Reader\\reader.exe\" /inbox C:\\box\\in.mbx";
    ExpectStart(quoted, "C:\\Mail Reader\\reader.exe", quoted, "C:\\Mail Reader");
    ExpectStart("  \"C:\\Mail Reader\\reader.exe\"  ", "C:\\Mail Reader\\reader.exe", "\"C:\\Mail Reader\\reader.exe\"",
                "C:\\Mail Reader");
    // An unclosed quotation mark runs to the end of the line.
    ExpectStart("\"C:\\Mail Reader\\reader.exe", "C:\\Mail Reader\\reader.exe", "\"C:\\Mail Reader\\reader.exe\"",
                "C:\\Mail Reader");
}

TEST(ReaderCommand, AnUnquotedLineWithBlanksIsTakenWholeOnlyWhenItNamesAFile)
{
    ExpectStart(kReaderWithBlank, kReaderWithBlank, '"' + kReaderWithBlank + '"', "C:\\quillo-ev\\Mail Reader",
                &OnlyTheReaderWithBlankExists);
    ExpectStart(kReaderWithBlank + " ", kReaderWithBlank, '"' + kReaderWithBlank + '"', "C:\\quillo-ev\\Mail Reader",
                &OnlyTheReaderWithBlankExists);
    // With arguments the whole names no file: the program ends at the first
    // blank, and only that name, quoted, can be started.
    ExpectStart(kReaderWithBlank + " -n", "C:\\quillo-ev\\Mail", "\"C:\\quillo-ev\\Mail\" Reader\\reader.exe -n",
                "C:\\quillo-ev", &OnlyTheReaderWithBlankExists);
    ExpectStart(kReaderWithBlank, "C:\\quillo-ev\\Mail", "\"C:\\quillo-ev\\Mail\" Reader\\reader.exe", "C:\\quillo-ev",
                &NoFileExists);
}

TEST(ReaderCommand, ALineThatNamesNoProgramStartsNothing)
{
    for (const std::string line : {"", "   ", "\"\"", "\"\" -n", "C:\\a\"b c\"\\reader.exe"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(ReadReaderCommand(line, &NoFileExists).Program, "");
    }
}

TEST(ReaderFieldText, APickedPathIsQuotedOnlyWhenItHoldsABlankAndReadsBackWhole)
{
    EXPECT_EQ(ReaderFieldText("C:\\Mail\\reader.exe"), "C:\\Mail\\reader.exe");
    EXPECT_EQ(ReaderFieldText(kReaderWithBlank), '"' + kReaderWithBlank + '"');
    EXPECT_EQ(ReadReaderCommand(ReaderFieldText(kReaderWithBlank), &NoFileExists).Program, kReaderWithBlank);
}

} // namespace
