// Whole console loads through PC/SC: the KLAVCharger process finds the test
// reader through a private pcscd (the real daemon loading our test reader
// driver) and loads a database into the simulated terminal behind it.

#include "PrivatePcscd.h"
#include "TestDatabase.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
};

class PcscConsoleLoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        program = dir.filePath("KLAVCharger");
        ASSERT_TRUE(QFile::copy(KLAV_CHARGER_PATH, program));
    }
    void TearDown() override { PrivatePcscd::shared().stop(); }

    void startReaders(const std::vector<TestReaderSetup> &readers)
    {
        std::string error;
        ASSERT_TRUE(PrivatePcscd::shared().start(readers, error)) << error;
    }

    QString database(qint64 size)
    {
        const QString path = dir.filePath(QString("acts-%1.db").arg(size));
        EXPECT_TRUE(TestDatabase::createOfSize(path, size));
        return path;
    }

    ProgramRun run(const QStringList &args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        env.insert("HOME", dir.path());
        env.insert("PCSCLITE_CSOCK_NAME",
                   QString::fromStdString(PrivatePcscd::shared().socketPath()));
        process.setProcessEnvironment(env);
        process.start(program, args);
        EXPECT_TRUE(process.waitForFinished(120000));
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString()};
    }

    static QByteArray sha256(const QString &path)
    {
        QFile file(QString::fromStdString(path.toStdString()));
        QCryptographicHash hash(QCryptographicHash::Sha256);
        return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
    }

    QString received(int load) const
    {
        return QString::fromStdString(PrivatePcscd::shared().readerOutput(0, load));
    }

    QTemporaryDir dir;
    QString program;
};

TEST_F(PcscConsoleLoadTest, DatabasesOfEverySizeArriveByteForByte)
{
    startReaders({{"Velantra Test Reader", "serial = 0001A2B3"}});
    struct Case {
        qint64 size;
        const char *pad;
    };
    int load = 0;
    for (const Case c : {Case{40000, "2"}, Case{0, "3"}, Case{30717, "9"}, Case{30718, "14"},
                         Case{5 << 20, "2"}}) {
        SCOPED_TRACE(c.size);
        const QString db = database(c.size);
        const QByteArray digest = sha256(db);
        const ProgramRun r = run({db, "PCSC", c.pad});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("\nLoading succeeded\n"), std::string::npos);
        EXPECT_EQ(sha256(received(++load)), digest);
        EXPECT_EQ(sha256(db), digest);
        const std::string frames = PrivatePcscd::shared().readerLogText(0);
        EXPECT_NE(frames.find("PAD " + std::string(c.pad[0] == '0' ? c.pad + 1 : c.pad)),
                  std::string::npos);
    }
}

TEST_F(PcscConsoleLoadTest, ANackThroughTheReaderIsReportedWithItsText)
{
    startReaders({{"Velantra Test Reader", "serial = 0001A2B3\nnack = 1:Err"}});
    const ProgramRun r = run({database(40000), "PCSC"});
    EXPECT_EQ(r.status, 5);
    EXPECT_NE(r.out.find("\nA NACK was received : Err"), std::string::npos) << r.out;
}

TEST_F(PcscConsoleLoadTest, PcscMustBeNamedExactlyAndAReaderMustBePresent)
{
    startReaders({{"Velantra Test Reader", "serial = 0001A2B3"}});
    const QString db = database(2000);
    ProgramRun r = run({db, "pcsc"});
    EXPECT_EQ(r.status, 13);
    EXPECT_NE(r.out.find("\nDevice not found on the defined port"), std::string::npos);
    // Only a reader of another maker: nothing is listed.
    startReaders({{"Other Reader", "serial = 0001A2B3\nvendor = Somebody"}});
    r = run({db, "PCSC"});
    EXPECT_EQ(r.status, 13);
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new PrivatePcscdEnvironment);
    return RUN_ALL_TESTS();
}
