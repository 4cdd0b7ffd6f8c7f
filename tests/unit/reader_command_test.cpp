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

TEST(ReaderCommand, AnUnquotedLineWithBlanksNamesTheLongestExistingProgramAndNeverAPlantedFile)
{
    ExpectStart(kReaderWithBlank, kReaderWithBlank, '"' + kReaderWithBlank + '"', "C:\\quillo-ev\\Mail Reader",
                &OnlyTheReaderWithBlankExists);
    ExpectStart(kReaderWithBlank + " -n", kReaderWithBlank, '"' + kReaderWithBlank + "\" -n",
                "C:\\quillo-ev\\Mail Reader", &OnlyTheReaderWithBlankExists);
    // Files planted further up the path, with and without a program's ending,
    // lose to the program the whole path names.
    const std::string line = "C:\\Program Files\\Mail Reader\\reader.exe -compose";
    static std::string planted;
    const FileTest plantedOrReader = [](const std::string& path) {
        return path == planted || path == "C:\\Program Files\\Mail Reader\\reader.exe";
    };
    for (const std::string name : {"C:\\Program", "C:\\Program.exe", "C:\\Program Files\\Mail"}) {
        planted = name;
        ExpectStart(line, "C:\\Program Files\\Mail Reader\\reader.exe",
                    "\"C:\\Program Files\\Mail Reader\\reader.exe\" -compose", "C:\\Program Files\\Mail Reader",
                    plantedOrReader);
    }
    // Without the reader, neither a planted file nor one without a program's
    // ending starts; only a first token that can name nothing but a program.
    const FileTest onlyPlanted = [](const std::string& path) { return path == "C:\\Program"; };
    EXPECT_EQ(ReadReaderCommand(line, onlyPlanted).Program, "");
    EXPECT_EQ(ReadReaderCommand("C:\\Mail Reader\\reader -n", onlyPlanted).Program, "");
    ExpectStart("C:\\Mail\\go.CMD /x", "C:\\Mail\\go.CMD", "\"C:\\Mail\\go.CMD\" /x", "C:\\Mail");
    ExpectStart("C:\\My Mail\\run.bat\t-x y", "C:\\My Mail\\run.bat", "\"C:\\My Mail\\run.bat\"\t-x y", "C:\\My Mail",
                [](const std::string& path) { return path == "C:\\My Mail\\run.bat"; });
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

}  // namespace
