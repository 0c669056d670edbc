// Numbered message texts read from a flat file of fixed-size, space-padded records;
// a failed lookup yields a text naming the file, the number and the error instead.
#pragma once
#include <cstdint>
#include "ShortString.h"

// The message file that MessageText reads; empty unless someone assigns it.
extern ShortString MessageFileName;

// Record size of the message file read by MessageText.
inline constexpr std::int32_t MessageRecordSize = 50;

// Message `number` of the file `fileName` made of `recordSize`-byte records
// (1..255), trimmed of spaces at both ends; number 0 is the empty text and does
// not touch the file. Never fails towards the caller.
ShortString ReadMessage(const ShortString& fileName, std::int32_t recordSize, std::int32_t number);

// ReadMessage(MessageFileName, MessageRecordSize, number).
ShortString MessageText(std::int32_t number);
