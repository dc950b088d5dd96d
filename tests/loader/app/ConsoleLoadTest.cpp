// Whole console loads as a user runs them: the KLAVCharger process finds a
// simulated terminal through USB discovery and loads a database into it over
// a pseudo-terminal. The process runs in a private mount namespace whose /sys
// is a device tree built by the test, describing one USB terminal whose
// device node is the simulator's pty; the product itself is unchanged.

#include "SimProcess.h"
#include "SysfsTree.h"
#include "TestDatabase.h"

#include "app/KLAVCommandLine.h"
#include "load/KLAVDbManager.h"
#include "load/KLAVLoadResult.h"
#include "load/KLAVThread.h"
#include "load/KLAVUsbConnector.h"
#include "platform/UsbTtyEnumerator.h"
#include "port/KLAVDeviceManager.h"

#include "base/KLAVConfig.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
    qint64 elapsedMs = 0;
};

class ConsoleLoadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // A namespace of our own with /sys replaced needs root, or a user
        // namespace where unprivileged ones are allowed.
        QProcess probe;
        probe.start("unshare", unshareArgs() + QStringList{"true"});
        namespacesWork = probe.waitForFinished(10000) && probe.exitCode() == 0;
    }

    static QStringList unshareArgs()
    {
        QStringList args{"--mount", "--propagation", "private"};
        if (geteuid() != 0)
            args.prepend("--map-root-user"), args.prepend("--user");
        return args;
    }

    void SetUp() override
    {
        if (!namespacesWork) {
            if (qEnvironmentVariableIsSet("CI"))
                FAIL() << "unshare --mount is not available: whole-process loads cannot run";
            GTEST_SKIP() << "unshare --mount is not available here";
        }
        ASSERT_TRUE(dir.isValid());
        program = dir.filePath("KLAVCharger");
        ASSERT_TRUE(QFile::copy(KLAV_CHARGER_PATH, program)); // its config/ stays here
    }

    QString database(qint64 size, const QString &name = "acts.db")
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(TestDatabase::createOfSize(path, size));
        return path;
    }

    // Starts the simulated terminal and describes it as ttyACM0 (VID 0c59,
    // PID 0012, the default configuration's terminal) in the device tree.
    void startTerminal(std::vector<std::string> options = {})
    {
        received = dir.filePath("received.db");
        frameLog = dir.filePath("frames.log");
        options.insert(options.end(),
                       {"--out", received.toStdString(), "--log", frameLog.toStdString()});
        sim = std::make_unique<SimProcess>(SimProcess::terminalSim(), options);
        ASSERT_EQ(sim->slavePath().rfind("/dev/", 0), 0u);
        SysfsTree::UsbTty tty;
        tty.port = "ttyACM0";
        tty.idVendor = "0c59";
        tty.idProduct = "0012";
        tty.product = "Terminal";
        tty.devName = sim->slavePath().substr(5);
        tree = std::make_unique<SysfsTree>();
        tree->addUsbTty(tty);
    }

    // Runs the program in the folder of the test with the database named by
    // a printf format: the shell makes the bytes, so names that are not
    // valid UTF-8 reach the program as they are.
    ProgramRun runNamed(const QByteArray &nameFormat, const QStringList &args)
    {
        const QString script = "mount --bind \"$1\" /sys && cd \"$2\" && p=\"$3\" && "
                               "n=$(printf \"$4\") && shift 4 && exec \"$p\" \"$n\" \"$@\"";
        return run(args, {"sh", "-c", script, "sh", QString::fromStdString(tree->sysRoot()),
                          dir.path(), program, QString::fromLatin1(nameFormat)});
    }

    ProgramRun run(const QStringList &args, QStringList command = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("HOME", dir.path());
        process.setProcessEnvironment(env);
        const QString script = "mount --bind \"$1\" /sys && shift && exec \"$@\"";
        if (command.isEmpty())
            command = QStringList{
                "sh", "-c", script, "sh", QString::fromStdString(tree->sysRoot()), program};
        QElapsedTimer clock;
        clock.start();
        process.start("unshare", unshareArgs() + command + args);
        EXPECT_TRUE(process.waitForFinished(120000));
        ProgramRun r;
        r.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        r.out = process.readAllStandardOutput().toStdString();
        r.err = process.readAllStandardError().toStdString();
        r.elapsedMs = clock.elapsed();
        return r;
    }

    std::string frames() const { return readAll(frameLog).toStdString(); }

    static bool namespacesWork;
    QTemporaryDir dir;
    QString program;
    QString received;
    QString frameLog;
    std::unique_ptr<SysfsTree> tree;
    std::unique_ptr<SimProcess> sim;
};

bool ConsoleLoadTest::namespacesWork = false;

TEST_F(ConsoleLoadTest, SuccessfulLoadPrintsEveryLineAndDeliversTheFile)
{
    const QString db = database(40000);
    const QByteArray source = readAll(db);
    startTerminal({"--loads", "1"});
    const ProgramRun r = run({db, "ttyACM0"});
    EXPECT_EQ(r.out, "\n\nParameters: \n\tDatabase file : " + db.toStdString() +
                         "\n\tPort name : ttyACM0\n\tPAD number : 2\n"
                         "\nWelcome to KLAV Loader ! \n"
                         "\nList of devices has been obtained"
                         "\nLoading has been started"
                         "\nCommunication initialization process succeeded"
                         "\nLoading progress : 100 %"
                         "\nAll data frames have been sent. Sending ending frame ... "
                         "\nLoading succeeded\n"
                         "\n"
                         "\nResult code : 0"
                         "\nReturned value : 0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, ""); // no warning from Qt either
    EXPECT_EQ(sim->wait(10000), 0);
    EXPECT_EQ(readAll(received), source);
    EXPECT_EQ(readAll(db), source); // the source is never touched
}

TEST_F(ConsoleLoadTest, AnyNameTheSystemOpensIsCheckedAndSentAsThatFile)
{
    // A relative name with a colon, and one that is not valid UTF-8.
    for (const QByteArray &format : {QByteArray("x:y.db"), QByteArray("caf\\351.db")}) {
        SCOPED_TRACE(format.toStdString());
        const QString made = database(40000, "made.db");
        const QByteArray source = readAll(made);
        QByteArray name = format;
        name.replace("\\351", "\xE9");
        const QByteArray target = QFile::encodeName(dir.path()) + "/" + name;
        ASSERT_EQ(::rename(QFile::encodeName(made).constData(), target.constData()), 0);
        startTerminal({"--loads", "1"});
        const ProgramRun r = runNamed(format, {"ttyACM0"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(sim->wait(10000), 0);
        EXPECT_EQ(readAll(received), source);
        QFile::remove(received);
        ::unlink(target.constData());
        sim.reset();
    }
}

TEST_F(ConsoleLoadTest, OtherPadsAndBlockBoundariesArriveByteForByte)
{
    struct Case {
        qint64 size;
        const char *pad;
    };
    for (const Case c : {Case{30717, "5"}, Case{30718, "14"}, Case{0, "07"}}) {
        SCOPED_TRACE(c.size);
        const QString name = QString("acts-%1.db").arg(c.size);
        const QString db = database(c.size, name);
        startTerminal({"--loads", "1", "--pad", QByteArray::number(atoi(c.pad)).toStdString()});
        const ProgramRun r = run({db, "ttyACM0", c.pad});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(sim->wait(10000), 0);
        EXPECT_EQ(readAll(received), readAll(db));
        QFile::remove(received);
        sim.reset();
    }
}

TEST_F(ConsoleLoadTest, AMebibyteDatabaseIsDeliveredWhole)
{
    const QString db = database(1 << 20);
    startTerminal({"--loads", "1"});
    const ProgramRun r = run({db, "ttyACM0", "3"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nLoading progress : 100 %"), std::string::npos);
    EXPECT_EQ(sim->wait(10000), 0);
    EXPECT_EQ(QCryptographicHash::hash(readAll(received), QCryptographicHash::Sha256),
              QCryptographicHash::hash(readAll(db), QCryptographicHash::Sha256));
}

TEST_F(ConsoleLoadTest, EveryFailureOfAMisbehavingTerminalHasItsCode)
{
    const QString db = database(70000); // three blocks
    struct Case {
        std::vector<std::string> options;
        int code;
        const char *console;
    };
    const Case cases[] = {
        {{"--wrong-byte", "init:3"},
         LOAD_INIT_FAILED,
         "\nCommunication initialization process failed"},
        {{"--wrong-byte", "request:3"},
         LOAD_REQUEST_REFUSED,
         "\nUpdate request failed with returned message : 0xF24002FF00212A"},
        {{"--nack", "2:Err"}, LOAD_NACK, "\nA NACK was received : Err"},
        {{"--incomplete-nack", "1"}, LOAD_NACK_INCOMPLETE, "\nAn incomplete NACK was received"},
        {{"--refuse", "2"}, LOAD_BLOCK_REFUSED, "\nResult code : 7"},
        {{"--no-ending-reply"}, LOAD_ENDING_FAILED, "\nNo response for the ending frame"},
        {{"--silent"},
         LOAD_NO_RESPONSE,
         "\nNo response from the terminal\nCommunication initialization process failed"},
        {{"--short-reply", "4:0"},
         LOAD_NO_RESPONSE,
         "\nNo response from the terminal\nTimeout when sending data"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options[0]);
        startTerminal(c.options);
        const ProgramRun r = run({db, "ttyACM0"});
        EXPECT_EQ(r.status, c.code) << r.out;
        EXPECT_NE(r.out.find(c.console), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\nReturned value : " + std::to_string(c.code)), std::string::npos);
        EXPECT_LT(r.elapsedMs, 20000);
        const bool endingSent = frames().find("H>T ending") != std::string::npos;
        EXPECT_EQ(endingSent, c.code == LOAD_BLOCK_REFUSED || c.code == LOAD_ENDING_FAILED)
            << frames();
        sim.reset();
    }
}

// Output piped into a program that stops reading (head): the writes fail,
// the load goes on to its end and the exit status is still its result.
TEST_F(ConsoleLoadTest, AClosedStandardOutputNeverEndsTheLoad)
{
    const QString db = database(30 * 30717); // many progress lines after head has gone
    const QByteArray source = readAll(db);
    startTerminal({"--loads", "1"});
    const QString status = dir.filePath("status");
    const QString script = "mount --bind \"$1\" /sys && s=\"$2\" && shift 2 && "
                           "{ \"$@\"; echo $? > \"$s\"; } | head -c 80 > /dev/null";
    const ProgramRun r =
        run({db, "ttyACM0"},
            {"sh", "-c", script, "sh", QString::fromStdString(tree->sysRoot()), status, program});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(readAll(status), "0\n"); // not 141, the status of SIGPIPE
    EXPECT_EQ(sim->wait(10000), 0);
    EXPECT_EQ(readAll(received), source);
}

TEST_F(ConsoleLoadTest, ACorruptDatabaseIsRefusedBeforeTheTerminalHearsAnything)
{
    const QString db = dir.filePath("corrupt.db");
    ASSERT_TRUE(writeAll(db, QByteArray(5000, 'x')));
    startTerminal();
    const ProgramRun r = run({db, "ttyACM0"});
    EXPECT_EQ(r.status, LOAD_NOT_COHERENT);
    EXPECT_NE(
        r.out.find("\nThe database is not coherent\nCommunication initialization process failed"),
        std::string::npos);
    EXPECT_EQ(frames().find("H>T"), std::string::npos) << frames();
}

TEST_F(ConsoleLoadTest, ThePortNameMustMatchExactly)
{
    const QString db = database(2000);
    startTerminal();
    const ProgramRun r = run({db, "TTYACM0"});
    EXPECT_EQ(r.status, 13);
    EXPECT_NE(r.out.find("\nDevice not found on the defined port\n\nResult code : 13"),
              std::string::npos);
    EXPECT_EQ(frames().find("H>T"), std::string::npos) << frames();
}

TEST_F(ConsoleLoadTest, ATerminalUnpluggedMidTransferEndsTheLoadCleanly)
{
    const QString db = database(5 * 30717);
    const QByteArray source = readAll(db);
    startTerminal({"--hangup", "2"});
    const ProgramRun r = run({db, "ttyACM0"});
    EXPECT_EQ(r.status, LOAD_NO_RESPONSE) << r.out;
    EXPECT_NE(r.out.find("\nTimeout when sending data"), std::string::npos);
    EXPECT_LT(r.elapsedMs, 20000);
    EXPECT_EQ(readAll(db), source);
    EXPECT_FALSE(QFile::exists(received));
}

TEST_F(ConsoleLoadTest, CancelFromAnotherThreadStopsTheLoadWithoutEndingFrame)
{
    // The window's way: the load on its own thread, cancel from this one.
    const QString db = database(6 * 30717);
    startTerminal();
    g_config = ConfigStruct();
    g_config.VID = {"0c59"};
    g_config.PID = {"0012"};
    KLAVDeviceManager devices(UsbTtyEnumerator(tree->sysRoot(), "/dev"),
                              {g_config.VID, g_config.PID});
    const std::vector<KLAVDevice> list = devices.getDeviceList();
    ASSERT_EQ(list.size(), 1u);
    g_consoleMode = false;
    KLAVThread load(KLAVUsbConnector(list[0], KLAVDbManager(db.toUtf8()), 2));
    QObject::connect(&load, &KLAVThread::threadProgress, &load, &KLAVThread::loadCancel,
                     Qt::DirectConnection);
    QSignalSpy feedback(&load, &KLAVThread::threadFeedback);
    QSignalSpy progress(&load, &KLAVThread::threadProgress);
    load.start();
    ASSERT_TRUE(load.wait(60000));
    ASSERT_EQ(feedback.size(), 1);
    EXPECT_EQ(feedback[0][0].toInt(), LOAD_CANCELLED);
    EXPECT_EQ(progress.size(), 1);
    EXPECT_EQ(frames().find("H>T ending"), std::string::npos) << frames();
    EXPECT_FALSE(QFile::exists(received));
}

} // namespace
