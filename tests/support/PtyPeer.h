#pragma once
// A scripted terminal on the master side of a fresh pty, for driving a serial
// port on the slave side from the test's own thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PtyPeer {
public:
    PtyPeer(); // raw slave, held open so the line stays up between port opens
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    const std::string &slavePath() const { return slavePath_; }
    int slaveFd() const { return slave_; }

    void send(const std::vector<uint8_t> &bytes);
    // Reads until count bytes came or timeoutMs passed.
    std::vector<uint8_t> receive(size_t count, int timeoutMs);
    // Closes both ends the peer holds: the port's line hangs up.
    void hangUp();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};
