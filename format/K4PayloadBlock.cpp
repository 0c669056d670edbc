// The payload block's reading: the trailer, the three texts, the sum and run records,
// where the cabinet lies and how long it says it is.
#include "K4PayloadBlock.h"
#include "K4LittleEndian.h"

namespace payloadblock {

namespace {

Block Failed(Block& block, Fault fault, std::int64_t stated = 0, std::size_t text = 0) {
    block.fault = fault;
    block.stated = stated;
    block.faultText = text;
    return block;
}

// The signed 32-bit number at `offset`; false when it cannot be read.
bool ReadNumber(cabfmt::ReadAt& file, std::uint64_t offset, std::int32_t& number) {
    unsigned char raw[LengthFieldSize];
    if (!file.Read(offset, raw, sizeof raw)) return false;
    number = static_cast<std::int32_t>(le::Read32(raw));
    return true;
}

void FindSumRecord(cabfmt::ReadAt& file, std::uint64_t blockEnd, Block& block) {
    if (block.cabinetRoom < cabfmt::SignatureSize + cabsum::RecordSize) return;
    unsigned char raw[cabsum::RecordSize];
    if (!file.Read(blockEnd - cabsum::RecordSize, raw, sizeof raw)) return;
    if (const std::optional<cabsum::Record> sum = cabsum::Decode(raw)) {
        block.summed = true;
        block.sum = *sum;
        block.cabinetRoom -= cabsum::RecordSize;
    }
}

// Whether the record's texts, read from the file in small steps, have the sum its tail
// states.
bool RunRecordSummed(cabfmt::ReadAt& file, std::uint64_t offset, const runrecord::Tail& tail) {
    unsigned char step[256];
    std::uint32_t crc = 0;
    for (std::uint64_t left = std::uint64_t{tail.programLength} + tail.argumentsLength; left > 0;) {
        const std::size_t count = left < sizeof step ? static_cast<std::size_t>(left) : sizeof step;
        if (!file.Read(offset, step, count)) return false;
        crc = runrecord::SmallCrc32(crc, step, count);
        offset += count;
        left -= count;
    }
    unsigned char fixed[runrecord::TailSize];
    runrecord::EncodeTail(tail, fixed);
    return runrecord::SmallCrc32(crc, fixed, runrecord::SummedTailSize) == tail.crc;
}

// Looks for the run record ending at `recordEnd` (the sum record's start, or the
// trailer's); false when a record's marker is there but the record does not hold.
bool FindRunRecord(cabfmt::ReadAt& file, std::uint64_t recordEnd, Block& block) {
    if (block.cabinetRoom < cabfmt::SignatureSize + runrecord::TailSize) return true;
    unsigned char raw[runrecord::TailSize];
    if (!file.Read(recordEnd - runrecord::TailSize, raw, sizeof raw)) return true;
    const std::optional<runrecord::Tail> tail = runrecord::DecodeTail(raw);
    if (!tail) return true;
    if (!tail->Followable() || tail->RecordSize() > block.cabinetRoom - cabfmt::SignatureSize) return false;
    const std::uint64_t offset = recordEnd - tail->RecordSize();
    if (!RunRecordSummed(file, offset, *tail)) return false;
    block.runs = true;
    block.run = *tail;
    block.runOffset = offset;
    block.cabinetRoom -= tail->RecordSize();
    return true;
}

}  // namespace

Block ReadBlock(cabfmt::ReadAt& file, std::uint64_t end) {
    Block block;
    std::int32_t length = 0;
    if (end < TrailerSize) return Failed(block, Fault::NoTrailer);
    const std::uint64_t blockEnd = end - TrailerSize;
    if (!ReadNumber(file, blockEnd, length)) return Failed(block, Fault::Unreadable);
    if (length < 0 || static_cast<std::uint64_t>(length) > blockEnd) return Failed(block, Fault::TrailerOutside, length);
    if (static_cast<std::uint64_t>(length) < TextFieldsSize) return Failed(block, Fault::TrailerTooShort, length);
    block.length = static_cast<std::uint32_t>(length);
    block.start = blockEnd - block.length;
    std::uint64_t position = block.start;
    for (std::size_t t = 0; t < TextCount; ++t) {
        if (blockEnd - position < LengthFieldSize) return Failed(block, Fault::TextOutside, 0, t + 1);
        if (!ReadNumber(file, position, length)) return Failed(block, Fault::Unreadable);
        position += LengthFieldSize;
        if (length < 0 || length > MaxTextLength) return Failed(block, Fault::TextLengthOutside, length, t + 1);
        if (static_cast<std::uint64_t>(length) > blockEnd - position) return Failed(block, Fault::TextOutside, length, t + 1);
        block.textOffset[t] = position;
        block.textLength[t] = static_cast<std::uint32_t>(length);
        position += static_cast<std::uint32_t>(length);
    }
    block.cabinetOffset = position;
    block.cabinetRoom = blockEnd - position;
    if (block.cabinetRoom == 0) return Failed(block, Fault::NoCabinet);
    FindSumRecord(file, blockEnd, block);
    if (!FindRunRecord(file, block.cabinetOffset + block.cabinetRoom, block)) return Failed(block, Fault::RunRecordDamaged);
    unsigned char head[cabfmt::SignatureSize];
    block.signature = block.cabinetRoom >= sizeof head && file.Read(position, head, sizeof head) &&
                      cabfmt::HasSignature(head);
    return block;
}

std::uint64_t CabinetLength(const unsigned char* head, std::size_t headSize, std::uint64_t room) {
    if (headSize < cabfmt::CabinetSizeField + 4 || !cabfmt::HasSignature(head)) return room;
    const std::uint64_t stated = le::Read32(head + cabfmt::CabinetSizeField);
    if (stated < cabfmt::HeaderSize) return room;
    return stated < room ? stated : room;
}

}  // namespace payloadblock
