// One traced exchange on a port: what the port is asked, what the caller
// gets back whatever length the port claims, and the trace lines in order.

#include "LogCapture.h"

#include "base/KLAVLog.h"
#include "load/KLAVPortExchange.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Answers every command with its bytes, and then claims a length of its own.
class ClaimingPort : public KLAVDevicePort {
public:
    QByteArray answer;
    int claimedLength = 0;
    QByteArray command;
    int capacity = 0;
    uint32_t interval = 0;
    uint32_t total = 0;
    KLAVAnswerEnd end;

    bool ExecuteCommand(const uint8_t *sent, int32_t sentLength, uint8_t *response,
                        int32_t *responseLength, uint32_t readIntervalTimeout,
                        uint32_t readTotalTimeout, const KLAVAnswerEnd &answerEnd) override
    {
        command = QByteArray(reinterpret_cast<const char *>(sent), sentLength);
        capacity = *responseLength;
        interval = readIntervalTimeout;
        total = readTotalTimeout;
        end = answerEnd;
        std::memcpy(response, answer.constData(), size_t(std::min(answer.size(), capacity)));
        *responseLength = claimedLength;
        return true;
    }
    bool closePort() override { return true; }
};

const KLAVPortExchange::Trace kNoTrace{nullptr, nullptr, 0, nullptr, nullptr};

} // namespace

TEST(KLAVPortExchange, TheReplyIsWhatThePortClaimsWithinTheCapacity)
{
    struct Row {
        const char *name;
        int claimed;
        QByteArray reply;
    };
    const Row rows[] = {
        {"all of it", 4, "ABCD"},
        {"part of it", 2, "AB"},
        {"nothing", 0, ""},
        {"a negative length", -1, ""},
        {"more than the capacity", 9, "ABCD"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ClaimingPort port;
        port.answer = "ABCD";
        port.claimedLength = row.claimed;
        KLAVAnswerEnd end;
        end.leadByte = 0x05;
        end.quietGap = 20;
        const QByteArray reply =
            KLAVPortExchange::run(port, QByteArray("\x01\x02", 2), {4, 500, 3000, end}, kNoTrace);
        EXPECT_EQ(reply, row.reply);
        EXPECT_EQ(port.command, QByteArray("\x01\x02", 2));
        EXPECT_EQ(port.capacity, 4);
        EXPECT_EQ(port.interval, 500u);
        EXPECT_EQ(port.total, 3000u);
        EXPECT_EQ(port.end.leadByte, 0x05);
        EXPECT_EQ(port.end.quietGap, 20u);
    }
}

TEST(KLAVPortExchange, TraceLinesComeAfterTheReplyInTheirOrder)
{
    struct Row {
        const char *name;
        KLAVPortExchange::Trace trace;
        QByteArray expected;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"no trace", kNoTrace, {}, {}},
        {"command and reply",
         {"sent %d", "sent %d : %02X", LOG_INFO, "got %d", "got %d : %02X"},
         {},
         {"sent 2", "sent 0 : 01", "sent 1 : FE", "got 2", "got 0 : F2", "got 1 : 80"}},
        {"reply beside what was expected",
         {nullptr, nullptr, LOG_DATA, "got %d", "got %d : %02X want %02X"},
         QByteArray("\xF2\x81\x00", 3),
         {"got 2", "got 0 : F2 want F2", "got 1 : 80 want 81"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        ClaimingPort port;
        port.answer = QByteArray("\xF2\x80", 2);
        port.claimedLength = 2;
        LogCapture log;
        writeLog(LOG_INFO, "before");
        KLAVPortExchange::run(port, QByteArray("\x01\xFE", 2), {3, 0, 0, KLAVAnswerEnd()},
                              row.trace, row.expected);
        std::vector<std::string> lines = log.messages();
        ASSERT_GE(lines.size(), 2u); // the log's own first line, then "before"
        EXPECT_EQ(lines[1], "before");
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 2, lines.end()), row.lines);
    }
}
