// The time reply from reads of any size: the four bytes in any chunking, a
// short reply an error, whatever follows the reply ignored.
#include "FuzzCheck.h"
#include "timesync/TimeProtocol.h"

#include <QByteArray>
#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using timeproto::ReplyReader;

// One read as the socket layer reports it.
struct Read
{
    QByteArray data; // n > 0
    qint64 n = 0;    // 0: the peer closed; -1: error
    int error = 0;
};

// Each read: a lead byte, then its data. 0 ends the stream, 0xFF is "nothing yet",
// 0xFE an error whose number follows; any other lead is the length of the data.
std::vector<Read> readsFrom(const uint8_t* data, size_t size)
{
    std::vector<Read> reads;
    for (size_t i = 0; i < size;) {
        const uint8_t lead = data[i++];
        Read r;
        if (lead == 0) {
            r.n = 0;
        } else if (lead == 0xFF) {
            r.n = -1;
            r.error = (i < size && data[i++] & 1) ? EWOULDBLOCK : EAGAIN;
        } else if (lead == 0xFE) {
            r.n = -1;
            r.error = i < size ? data[i++] : 0;
        } else {
            const size_t n = std::min<size_t>(lead % 16, size - i);
            if (n == 0)
                continue;
            r.data = QByteArray(reinterpret_cast<const char*>(data + i), qsizetype(n));
            r.n = qint64(n);
            i += n;
        }
        reads.push_back(r);
    }
    return reads;
}

bool isNothingYet(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// Feeds the reads as the dialog does (asking for missing() bytes, the rest of a
// chunk waiting in the socket for the next read) or, with clamp false, hands
// every chunk over whole; checks each step against a plain model of the stream.
void run(ReplyReader& reader, const std::vector<Read>& reads, bool clamp)
{
    QByteArray arrived; // the bytes the reader was given, in order
    QByteArray pending; // a chunk's bytes not yet read
    ReplyReader::State expected = ReplyReader::State::Waiting;
    int expectedError = 0;
    size_t next = 0;
    while (next < reads.size() || !pending.isEmpty()) {
        Read r;
        if (!pending.isEmpty()) {
            r.data = pending;
            r.n = pending.size();
            pending.clear();
        } else {
            r = reads[next++];
        }
        if (clamp && r.n > reader.missing() && expected == ReplyReader::State::Waiting) {
            pending = r.data.mid(reader.missing());
            r.data.truncate(reader.missing());
            r.n = r.data.size();
        }

        if (expected == ReplyReader::State::Waiting) {
            if (r.n > 0) {
                arrived += r.data;
                if (arrived.size() >= timeproto::kReplySize)
                    expected = ReplyReader::State::Complete;
            } else if (r.n == 0) {
                expected = ReplyReader::State::Failed;
                expectedError = timeproto::kShortReplyError;
            } else if (!isNothingYet(r.error)) {
                expected = ReplyReader::State::Failed;
                expectedError = r.error;
            }
        }

        const quint32 before = reader.reply();
        const bool wasDone = reader.state() != ReplyReader::State::Waiting;
        const ReplyReader::State state = reader.onRead(r.data.constData(), r.n, r.error);
        FUZZ_CHECK(state == expected && reader.state() == state, "state %d, expected %d after %s", int(state),
                   int(expected), arrived.toHex().constData());
        FUZZ_CHECK(reader.received() == std::min<int>(int(arrived.size()), timeproto::kReplySize) &&
                       reader.missing() == timeproto::kReplySize - reader.received(),
                   "received %d of %s", reader.received(), arrived.toHex().constData());
        if (wasDone)
            FUZZ_CHECK(reader.reply() == before, "a read after the end changed the reply");
        if (state == ReplyReader::State::Failed)
            FUZZ_CHECK(reader.error() == expectedError, "error %d, expected %d", reader.error(),
                       expectedError);
        if (state == ReplyReader::State::Complete) {
            const auto* b = reinterpret_cast<const unsigned char*>(arrived.constData());
            const quint32 word = quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | b[3];
            FUZZ_CHECK(reader.reply() == word && reader.error() == 0, "reply %08x from %s", reader.reply(),
                       arrived.toHex().constData());
        }
        // The dialog reads no more once the reader has finished; the rest is extra.
        if (clamp && state != ReplyReader::State::Waiting)
            pending.clear();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<Read> reads = readsFrom(data, size);
    ReplyReader reader;
    run(reader, reads, true);
    const ReplyReader::State first = reader.state();
    const quint32 firstReply = reader.reply();

    // A reset reader starts over; chunks of any size give the same result.
    reader.reset();
    FUZZ_CHECK(reader.state() == ReplyReader::State::Waiting && reader.received() == 0 && reader.error() == 0,
               "reset left state %d", int(reader.state()));
    run(reader, reads, false);
    FUZZ_CHECK(reader.state() == first, "state %d whole, %d clamped", int(reader.state()), int(first));
    if (first == ReplyReader::State::Complete)
        FUZZ_CHECK(reader.reply() == firstReply, "reply %08x whole, %08x clamped", reader.reply(),
                   firstReply);
    return 0;
}
