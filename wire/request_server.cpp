#include "wire/request_server.h"

#include "wire/sim_ipc_wire.h"

namespace aviolog::wire {

std::uint32_t serveRequests(std::span<std::byte> block, RequestTarget& target) {
    std::size_t pos = 0;
    while (pos + wire::kTerminatorBytes <= block.size()) {
        std::byte* record = block.data() + pos;
        const std::uint32_t kind = wire::load32(record);
        const std::size_t room = block.size() - pos;
        if (kind == wire::kRecordRead && room >= wire::kReadHeaderBytes) {
            const std::uint32_t offset = wire::load32(record + 4);
            const std::size_t size = wire::load32(record + 8);
            if (size > room - wire::kReadHeaderBytes) break;
            target.readVariable(offset, {record + wire::kReadHeaderBytes, size});
            pos += wire::kReadHeaderBytes + size;
        } else if (kind == wire::kRecordWrite && room >= wire::kWriteHeaderBytes) {
            const std::uint32_t offset = wire::load32(record + 4);
            const std::size_t size = wire::load32(record + 8);
            if (size > room - wire::kWriteHeaderBytes) break;
            target.writeVariable(offset, {record + wire::kWriteHeaderBytes, size});
            pos += wire::kWriteHeaderBytes + size;
        } else {
            if (kind != wire::kRecordEnd) wire::store32(record, wire::kRecordEnd);
            break;
        }
    }
    return wire::kReplySuccess;
}

}  // namespace aviolog::wire
