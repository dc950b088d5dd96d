// The command line as a user meets it: the real program run as a process,
// its exact console output and exit status. Each run uses a private copy of
// the executable, so the configuration file it creates stays in a temporary
// folder.

#include "app/KLAVCommandLine.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kUsage =
    "\nTo use the program, type: KLAVCharger arg1 arg2 [arg3]"
    "\nwhere:"
    "\n\targ1            : path to the database file (format .db)"
    "\n\targ2            : name of the COM port (for example: COM6), or 'PCSC' "
    "\n\targ3 (optional) : PAD number of the terminal (in [0-14], 2 by default)"
    "\nType: 'KLAVCharger -?' for help\n";

struct ProgramRun {
    int status;
    std::string out;
};

class CommandLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        program = dir.filePath("KLAVCharger");
        ASSERT_TRUE(QFile::copy(KLAV_CHARGER_PATH, program));
        database = dir.filePath("acts.db");
        QFile db(database);
        ASSERT_TRUE(db.open(QIODevice::WriteOnly));
        db.write("not checked here");
    }

    // Runs with no display and no Qt platform chosen, as from a remote shell.
    ProgramRun run(const QStringList &args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("HOME", dir.path());
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit)
            << process.readAllStandardError().toStdString();
        return {process.exitCode(), process.readAllStandardOutput().toStdString()};
    }

    std::string parameters(const std::string &pad, const std::string &port = "COM6")
    {
        return "\n\nParameters: \n\tDatabase file : " + database.toStdString() +
               "\n\tPort name : " + port + "\n\tPAD number : " + pad + "\n";
    }

    QTemporaryDir dir;
    QString program;
    QString database;
};

// No terminal is connected on this machine's COM6: the load ends with 13.
const std::string kNoDevice = "\nWelcome to KLAV Loader ! \n\nList of devices has been obtained"
                              "\nDevice not found on the defined port";

TEST_F(CommandLineTest, HelpPrintsTheUsageTextOnly)
{
    const ProgramRun r = run({"-?"});
    EXPECT_EQ(r.out, kUsage + "\nReturned value : 11");
    EXPECT_EQ(r.status, 11);
    // The first start created the default configuration beside the program.
    EXPECT_TRUE(QFileInfo::exists(dir.filePath("config/KLAV_init.ini")));
}

TEST(ProgramArgumentsTest, QtOptionsAreNotTheProgramsWords)
{
    struct Case {
        std::vector<const char *> argv;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"KLAVCharger", "-platform", "offscreen"}, {"KLAVCharger"}},
        {{"KLAVCharger", "-style=fusion", "--reverse", "-qwindowtitle", "T"}, {"KLAVCharger"}},
        {{"KLAVCharger", "--platform", "offscreen", "a.db", "COM6"},
         {"KLAVCharger", "a.db", "COM6"}},
        {{"KLAVCharger", "a.db", "-stylesheet", "x.qss", "COM6", "3"},
         {"KLAVCharger", "a.db", "COM6", "3"}},
        {{"KLAVCharger", "-?"}, {"KLAVCharger", "-?"}},
        {{"KLAVCharger", "-h", "-platformx"}, {"KLAVCharger", "-h", "-platformx"}},
        {{"KLAVCharger", "-platform"}, {"KLAVCharger", "-platform"}}, // its value never came
        {{"KLAVCharger", "a.db", "-style"}, {"KLAVCharger", "a.db", "-style"}},
    };
    for (const Case &c : cases) {
        std::vector<char *> argv;
        for (const char *word : c.argv)
            argv.push_back(const_cast<char *>(word));
        EXPECT_EQ(programArguments(int(argv.size()), argv.data()), c.expected) << c.argv.size();
    }
}

TEST_F(CommandLineTest, QtOptionsBesideTheProgramsWordsAreLeftToQt)
{
    const ProgramRun r = run({"-platform", "offscreen", "-?"});
    EXPECT_EQ(r.out, kUsage + "\nReturned value : 11");
}

TEST_F(CommandLineTest, WrongArgumentCountsAreRefusedWith11)
{
    ProgramRun r = run({"-h"});
    EXPECT_EQ(r.out, "\nInvalid arguments\nResult code : 11" + kUsage + "\nReturned value : 11");
    EXPECT_EQ(r.status, 11);
    r = run({database, "COM6", "2", "extra"});
    EXPECT_EQ(r.out, "\nInvalid number of arguments\n" + kUsage +
                         "\nResult code : 11\nReturned value : 11");
    EXPECT_EQ(r.status, 11);
}

TEST_F(CommandLineTest, ADatabaseThatIsNoReadableFileIsCode2SayingWhatItIs)
{
    const QString fifo = dir.filePath("fifo.db");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString unreadable = dir.filePath("secret.db");
    QFile(unreadable).open(QIODevice::WriteOnly);
    QFile::setPermissions(unreadable, QFileDevice::WriteOwner);
    struct Case {
        QString path;
        const char *line;
    };
    const Case cases[] = {
        {dir.filePath("missing.db"), "\nDatabase file does not exist\n"},
        {dir.path(), "\nDatabase file is a folder, not a file\n"},
        {"/dev/null", "\nDatabase file is a device, not a file\n"},
        {fifo,
         "\nDatabase file is a FIFO (named pipe), not a file\n"}, // at once, no wait for a writer
        {unreadable, "\nDatabase file cannot be read: permission denied\n"},
    };
    for (const Case &c : cases) {
        if (c.path == unreadable && ::geteuid() == 0)
            continue; // root reads every file
        // The PAD is out of range too: the database is looked at first.
        const ProgramRun r = run({c.path, "COM6", "99"});
        EXPECT_EQ(r.out, c.line + kUsage + "\nResult code : 2\nReturned value : 2") << c.line;
        EXPECT_EQ(r.status, 2);
    }
}

TEST_F(CommandLineTest, AQtOptionWithoutItsValueIsAConsoleError)
{
    const ProgramRun r = run({"-platform"});
    EXPECT_EQ(r.out, "\nInvalid arguments\nResult code : 11" + kUsage + "\nReturned value : 11");
    EXPECT_EQ(r.status, 11);
}

TEST_F(CommandLineTest, AnInvalidConfigurationReplacedInConsoleModeIsNamedOnce)
{
    ASSERT_EQ(run({"-?"}).status, 11); // the default file is there now
    QFile config(dir.filePath("config/KLAV_init.ini"));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly) && config.write("&ApplicationName=mine\n") > 0);
    config.close();
    const std::string backup = dir.filePath("config/KLAV_init.ini.bak").toStdString();
    EXPECT_EQ(
        run({"-?"}).out,
        "\nConfig file not valid: replaced by the default file, the invalid file is kept as " +
            backup + kUsage + "\nReturned value : 11");
    EXPECT_EQ(run({"-?"}).out, kUsage + "\nReturned value : 11"); // the default is valid
}

TEST_F(CommandLineTest, PadNumbersOutsideOneToFourteenAreCode12)
{
    const std::string expected = "\nInvalid PAD number, it must be between 1 and 14\n" + kUsage +
                                 "\nResult code : 12\nReturned value : 12";
    for (const char *pad : {"0", "15", "-1", "abc", "99999999999999999999"}) {
        const ProgramRun r = run({database, "COM6", pad});
        EXPECT_EQ(r.out, expected) << pad;
        EXPECT_EQ(r.status, 12) << pad;
    }
}

TEST_F(CommandLineTest, AcceptedArgumentsArePrintedAndHandedToTheLoad)
{
    const std::string tail = kNoDevice + "\n\nResult code : 13\nReturned value : 13";
    ProgramRun r = run({database, "COM6"});
    EXPECT_EQ(r.out, parameters("2") + tail);
    EXPECT_EQ(r.status, 13);
    for (const char *pad : {"1", "14", "3x", " 07"}) {
        r = run({database, "COM6", pad});
        EXPECT_EQ(r.out, parameters(pad) + tail) << pad;
        EXPECT_EQ(r.status, 13);
    }
}

} // namespace
