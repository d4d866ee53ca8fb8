// Arbitrary bytes from the socket: the decoder yields messages or an error, never a crash, and a
// decoded message encodes and decodes to the same message.
#include "worker/protocol/message.h"

#include <cstdint>
#include <cstdlib>

using namespace lonvera::worker::protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FrameDecoder decoder;
    // Feed in two pieces so partial frames are exercised too.
    const size_t half = size / 2;
    decoder.append(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(half)));
    decoder.append(QByteArray(reinterpret_cast<const char *>(data + half),
                              static_cast<qsizetype>(size - half)));
    Message message;
    for (int i = 0; i < 1000; ++i) {
        const FrameDecoder::Status status = decoder.next(&message);
        if (status != FrameDecoder::Status::Ready)
            break;
        FrameDecoder again;
        again.append(encodeFrame(message));
        Message copy;
        if (again.next(&copy) != FrameDecoder::Status::Ready || copy.type != message.type ||
            copy.requestId != message.requestId || copy.args.size() != message.args.size())
            std::abort();
    }
    return 0;
}
