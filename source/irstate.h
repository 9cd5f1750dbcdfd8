#pragma once

// The player's cabinet response as a project keeps it: the samples as they
// were loaded (at their own rate), its name, its settings and where it came
// from (a hint only: the project never needs the file again). Saved in the
// state as the 'cabi' chunk and sent from the controller to the processor
// as the same payload.

#include "IrFile.h"
#include "IrPrepare.h"
#include "brontalstate.h"

#include <string>

namespace brontal {

constexpr std::uint32_t kIrChunkTag = ChunkTag("cabi");
constexpr std::uint32_t kIrChunkVersion = 1;
constexpr std::size_t kIrMaxNameBytes = 255;
constexpr std::size_t kIrMaxPathBytes = 4096;
// The controller's message to the processor: the chunk's payload (version
// kIrChunkVersion) as a binary attribute; without it (or empty), the
// built-in mix. Hosts' attribute lists do not all keep an empty binary
// well, so the built-in mix is best asked for with no attribute at all.
constexpr const char* kCabinetMessageId = "BrontalCabinet";
constexpr const char* kCabinetMessageData = "Payload";

struct LoadedIr
{
	IrSamples samples;
	IrSettings settings;
	std::string sName;
	std::string sPath;
};

StateChunk EncodeIrChunk(const LoadedIr& ir);
// False for anything but a whole, valid response of a known version; then
// out is untouched.
bool DecodeIrChunk(const StateChunk& chunk, LoadedIr& out);

// A file read for the project: the response, its name, the default settings.
// False with the reader's sentence in sMessage when it cannot be used.
bool LoadIrFile(const std::string& sPath, LoadedIr& out, std::string& sMessage);

} // namespace brontal
