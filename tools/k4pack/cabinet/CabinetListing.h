// A cabinet's tables as the shared reader gives them (K4CabReader.h), and its entries
// described as the packer's values: what the lister and the extraction share.
#pragma once
#include <cstddef>
#include <string>

#include "Bytes.h"
#include "Cabinet.h"
#include "K4CabReader.h"

namespace k4pack {

// Entry `index` of the listing, with its folder's compression and its time as text.
CabinetEntry DescribeEntry(const cabread::Listing& listing, std::size_t index);

// The tables of `cabinet`. Throws PackError, `unreadable` and the reader's text, when they
// cannot be read.
cabread::Listing LoadListing(const ByteSource& cabinet, const std::string& unreadable);

}  // namespace k4pack
