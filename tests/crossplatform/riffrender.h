#pragma once
// The demo riff through the built bundle with the default settings, the
// same way on every platform, so renders of the Linux and the Windows
// module can be compared sample for sample.
#include "bundlefixture.h"
#include "cabinetpayload.h"

#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace crossplatform {

inline constexpr int kBlockSize = 512;
inline constexpr double kRates[] = {44100.0, 48000.0};

// The first channel of a PCM WAV file (16, 24 or 32-bit integers, or 32-bit
// floats) as floats; empty when the file is not one.
inline std::vector<float> readWavChannel(const std::string& path)
{
	std::ifstream file(path, std::ios::binary);
	const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
	const auto le = [&](std::size_t uAt, int iBytes) {
		uint32_t uValue = 0;
		for (int i = iBytes - 1; i >= 0; --i)
			uValue = (uValue << 8) | bytes[uAt + std::size_t(i)];
		return uValue;
	};
	if (bytes.size() < 12 || std::string(bytes.begin(), bytes.begin() + 4) != "RIFF" ||
	    std::string(bytes.begin() + 8, bytes.begin() + 12) != "WAVE")
		return {};
	uint32_t uFormat = 0, uChannels = 0, uBits = 0;
	for (std::size_t uAt = 12; uAt + 8 <= bytes.size();)
	{
		const std::string id(bytes.begin() + std::ptrdiff_t(uAt), bytes.begin() + std::ptrdiff_t(uAt) + 4);
		const std::size_t uSize = le(uAt + 4, 4);
		const std::size_t uData = uAt + 8;
		if (uData + uSize > bytes.size())
			return {};
		if (id == "fmt " && uSize >= 16)
		{
			uFormat = le(uData, 2);
			uChannels = le(uData + 2, 2);
			uBits = le(uData + 14, 2);
		}
		else if (id == "data" && uChannels > 0)
		{
			const std::size_t uFrameBytes = std::size_t(uChannels) * uBits / 8;
			std::vector<float> samples;
			for (std::size_t uFrame = uData; uFrame + uFrameBytes <= uData + uSize; uFrame += uFrameBytes)
			{
				if (uFormat == 3 && uBits == 32)
				{
					const uint32_t uRaw = le(uFrame, 4);
					float fValue;
					std::memcpy(&fValue, &uRaw, sizeof(fValue));
					samples.push_back(fValue);
				}
				else if (uFormat == 1 && (uBits == 16 || uBits == 24 || uBits == 32))
				{
					// Left-align, then scale by the full range of a 32-bit integer.
					const auto iValue = int32_t(le(uFrame, int(uBits / 8)) << (32 - uBits));
					samples.push_back(float(double(iValue) / 2147483648.0));
				}
				else
					return {};
			}
			return samples;
		}
		uAt = uData + uSize + (uSize & 1);
	}
	return {};
}

inline std::vector<float> demoRiff()
{
	return readWavChannel(std::string(BRONTAL_SOURCE_DIR) + "/examples/demo-riff.wav");
}

inline constexpr double kCabinetRate = 48000.0;

// A state holding a stereo cabinet response (0.5 s at 44.1 kHz, trimmed
// and normalised), as this platform's module saves it.
inline std::vector<char> cabinetState()
{
	using namespace Steinberg;
	using namespace Steinberg::Vst;
	bundletest::host::PluginInstance instance(bundletest::bundle());
	const std::vector<char> payload =
	    cabinettest::Payload(44100, cabinettest::Decaying(22050, 1), cabinettest::Decaying(22050, 2));
	IConnectionPoint* point = bundletest::host::queryInterface<IConnectionPoint>(instance.component());
	IMessage* message = new HostMessage;
	message->setMessageID("BrontalCabinet");
	message->getAttributes()->setBinary("Payload", payload.data(), static_cast<uint32>(payload.size()));
	point->notify(message);
	message->release();
	point->release();
	bundletest::host::ByteStream stream;
	instance.component()->getState(&stream);
	return stream.bytes();
}

// The riff on both inputs at the given rate, default settings (or a state's),
// 512-sample blocks; the output interleaved left, right.
inline std::vector<float> renderRiff(double dRate, const std::vector<char>* pState = nullptr)
{
	const std::vector<float> riff = demoRiff();
	bundletest::Stereo input(riff.size());
	input.left = riff;
	input.right = riff;
	auto instance = bundletest::activeInstance(dRate, kBlockSize);
	if (pState)
	{
		bundletest::host::ByteStream stream(*pState);
		instance->component()->setState(&stream);
		instance->component()->setActive(false);
		instance->component()->setActive(true);
	}
	const bundletest::Stereo output = bundletest::render(*instance, input, kBlockSize);
	std::vector<float> interleaved;
	interleaved.reserve(2 * output.size());
	for (std::size_t i = 0; i < output.size(); ++i)
	{
		interleaved.push_back(output.left[i]);
		interleaved.push_back(output.right[i]);
	}
	return interleaved;
}

inline std::string referenceName(double dRate)
{
	return "riff-" + std::to_string(int(dRate)) + ".f32";
}

// The state with a cabinet response and the riff rendered with it.
inline const char* kCabinetStateName = "cabinet.state";
inline const char* kCabinetRenderName = "riff-cabinet-48000.f32";

} // namespace crossplatform
