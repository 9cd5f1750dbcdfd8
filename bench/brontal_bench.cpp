// Every figure of the chain's speed and memory (bench/README.md reads them):
// first the ones measured once (memory, set-up times, silent blocks, the
// render tool, the side-by-side run against an LV2 amplifier), then the
// timed benchmarks. "per_sample" is the time one stereo sample takes;
// "realtime" is seconds of audio processed per second of wall time.

#include "ComputeInputVumeter.h"
#include "ComputeOutputVumeters.h"
#include "EffectSourceSelector.h"
#include "GainDEntree.h"
#include "IrConvolver.h"
#include "MyChorus.h"
#include "MyComp.h"
#include "MyConvolution.h"
#include "MyDelay.h"
#include "MyDisto.h"
#include "MyEqu.h"
#include "MyReverb.h"
#include "Tuner.h"
#include "brontalparams.h"
#include "dspfixture.h"
#include "processaudio.h"

#include "host/module.h"
#include "host/plugininstance.h"

#include <benchmark/benchmark.h>

#include <sndfile.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <malloc.h>
#include <memory>
#include <string>
#include <vector>

#ifdef BRONTAL_BENCH_LV2
#include "lv2host/lv2host.h"
#endif

namespace {

constexpr int kBlock = 1024;
constexpr double kRate = 48000.0;

// A plucked-string-like test signal: decaying partials, restruck every 250 ms.
std::vector<float> GuitarSignal(size_t n)
{
	std::vector<float> v(n);
	for (size_t i = 0; i < n; ++i)
	{
		const double t = static_cast<double>(i) / kRate;
		const double local = std::fmod(t, 0.25);
		double s = 0.0;
		for (int k = 1; k <= 6; ++k)
			s += std::sin(2.0 * M_PI * 110.0 * k * local) * std::exp(-4.0 * k * local) / k;
		v[i] = static_cast<float>(0.4 * s);
	}
	return v;
}

size_t HeapInUse()
{
	const struct mallinfo2 info = mallinfo2();
	return info.uordblks + info.hblkhd;
}

enum class Mode
{
	Process,
	Saturation,
	EquPre,
	EquPost
};

template <typename Block, Mode mode = Mode::Process>
void BM_Stage(benchmark::State& state)
{
	ParamTable params;
	double dRate = kRate;
	ParamCell fTempo{120.0f};
	auto block = std::make_unique<Block>();
	block->SetSampleRate(&dRate);
	block->SetTempo(&fTempo);
	block->SetParams(params.apTable);
	if (mode == Mode::EquPre)
		block->Configure(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, false);
	if (mode == Mode::EquPost)
		block->Configure(7, 0, 0, 0, 0, 0, 0, 0, 0, 0, true);
	block->Reset();

	const std::vector<float> signal = GuitarSignal(48000);
	std::vector<float> out1(kBlock), out2(kBlock);
	size_t position = 0;
	for (auto _ : state)
	{
		const float* in = &signal[position];
		if (mode == Mode::Saturation)
			block->ProcessSaturation(in, in, out1.data(), out2.data(), kBlock);
		else
			block->Process(in, in, out1.data(), out2.data(), kBlock);
		benchmark::DoNotOptimize(out1.data());
		position = (position + kBlock) % (signal.size() - kBlock);
	}
	state.counters["per_sample"] =
	    benchmark::Counter(kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
	state.counters["realtime"] = benchmark::Counter(kBlock / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

// The tuner's share of the audio thread per sample of one channel, the
// mute included: off; on, on notes restruck every 250 ms (searching at each
// pluck, then following); on noise, which it searches at every hop, its
// dearest case. Args: rate, on, noise.
void BM_Tuner(benchmark::State& state)
{
	ParamTable params;
	double dRate = static_cast<double>(state.range(0));
	params.Set(kTunerOnOff, state.range(1) != 0 ? 1.0f : 0.0f);
	CTuner tuner;
	tuner.SetSampleRate(&dRate);
	tuner.SetParams(params.apTable);
	tuner.Reset();
	std::vector<float> signal = GuitarSignal(96000);
	if (state.range(2) != 0)
		signal = Noise(signal.size(), 5u);
	std::vector<float> out1(kBlock), out2(kBlock), spare1(kBlock), spare2(kBlock);
	size_t position = 0;
	for (auto _ : state)
	{
		tuner.Process(&signal[position], nullptr, nullptr, nullptr, kBlock);
		tuner.Mute(out1.data(), out2.data(), spare1.data(), spare2.data(), kBlock);
		benchmark::DoNotOptimize(out1.data());
		position = (position + kBlock) % (signal.size() - kBlock);
	}
	state.counters["per_sample"] =
	    benchmark::Counter(kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Chain(benchmark::State& state)
{
	ParamTable params;
	double dRate = kRate;
	ParamCell fTempo{120.0f};
	CProcessAudio chain;
	chain.SetBlockSize(kBlock);
	chain.SetSampleRate(&dRate);
	chain.SetBufferCount(CProcessAudio::kBufferCount);
	chain.SetParamCount(kNumParams);
	chain.SetTempo(&fTempo);
	if (!chain.Init())
	{
		state.SkipWithError("the chain refused to be prepared");
		return;
	}
	for (const ParamDef& def : kParams)
		chain.SetParamPointer(def.iId, &params.afCells[def.iId]);

	const std::vector<float> signal = GuitarSignal(48000);
	std::vector<float> outL(kBlock), outR(kBlock);
	size_t position = 0;
	for (auto _ : state)
	{
		const float* in = &signal[position];
		chain.Process(in, in, outL.data(), outR.data(), kBlock);
		benchmark::DoNotOptimize(outL.data());
		position = (position + kBlock) % (signal.size() - kBlock);
	}
	state.counters["per_sample"] =
	    benchmark::Counter(kBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
	state.counters["realtime"] = benchmark::Counter(kBlock / kRate, benchmark::Counter::kIsIterationInvariantRate);
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d)
{
	return std::chrono::duration<double>(d).count();
}

// Processor time of this thread: what the machine's other work takes
// meanwhile is not counted, as in the timed benchmarks.
double ThreadSeconds()
{
	timespec ts{};
	clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
	return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

double Median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	return v.empty() ? 0.0 : v[v.size() / 2];
}

// An instance of the built bundle, activated at a rate and block length.
std::unique_ptr<brontal::host::PluginInstance> Activated(const std::shared_ptr<brontal::host::Module>& module,
                                                          double dRate, int iBlock)
{
	auto instance = std::make_unique<brontal::host::PluginInstance>(module);
	brontal::host::ProcessSetup setup;
	setup.sampleRate = dRate;
	setup.maxBlockSize = iBlock;
	instance->activate(setup);
	return instance;
}

// Runs n samples of the guitar signal through the instance in blocks.
void Play(brontal::host::PluginInstance& instance, const std::vector<float>& signal, size_t n, int iBlock)
{
	std::vector<float> outL(static_cast<size_t>(iBlock)), outR(static_cast<size_t>(iBlock));
	size_t position = 0;
	for (size_t done = 0; done < n; done += static_cast<size_t>(iBlock))
	{
		if (position + static_cast<size_t>(iBlock) > signal.size())
			position = 0;
		float* ins[2] = {const_cast<float*>(&signal[position]), const_cast<float*>(&signal[position])};
		float* outs[2] = {outL.data(), outR.data()};
		instance.process({ins, 2, outs, 2, iBlock, 0});
		position += static_cast<size_t>(iBlock);
	}
}

// The whole plug-in as a host runs it: through the bundle, at a rate and a
// host block length, once it has played long enough to fill every line.
void BM_Bundle(benchmark::State& state)
{
	const double dRate = static_cast<double>(state.range(0));
	const int iBlock = static_cast<int>(state.range(1));
	auto module = brontal::host::Module::load(BRONTAL_BUNDLE_PATH);
	auto instance = Activated(module, dRate, iBlock);

	std::vector<float> signal = GuitarSignal(48000);
	// Steady state: the delay's rings written once through, so the first
	// writes to their pages (the kernel's zero-filling) are not timed.
	Play(*instance, signal, static_cast<size_t>(34.0 * dRate), std::max(iBlock, 256));
	std::vector<float> outL(static_cast<size_t>(iBlock)), outR(static_cast<size_t>(iBlock));
	size_t position = 0;
	// Automated: the drive and the delay level move in every block, so their
	// glides never settle.
	const bool bAutomated = state.range(2) != 0;
	bool bUp = false;
	for (auto _ : state)
	{
		if (bAutomated)
		{
			bUp = !bUp;
			instance->block().inputChanges().add(kDistortionLevel, bUp ? 0.7 : 0.3, iBlock / 2);
			instance->block().inputChanges().add(kDelayLevel, bUp ? 0.6 : 0.4, iBlock / 3);
		}
		float* ins[2] = {&signal[position], &signal[position]};
		float* outs[2] = {outL.data(), outR.data()};
		instance->process({ins, 2, outs, 2, iBlock, 0});
		benchmark::DoNotOptimize(outL.data());
		position = (position + static_cast<size_t>(iBlock)) % (signal.size() - static_cast<size_t>(iBlock));
	}
	state.counters["per_sample"] = benchmark::Counter(
	    iBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
	state.counters["realtime"] = benchmark::Counter(iBlock / dRate, benchmark::Counter::kIsIterationInvariantRate);
}

// Resident memory of this process, in bytes.
double ResidentBytes()
{
	std::ifstream statm("/proc/self/statm");
	long lPages = 0, lResident = 0;
	statm >> lPages >> lResident;
	return static_cast<double>(lResident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Runs fn in a child process and prints what it wrote to its pipe, so that
// each measurement starts from a process that holds nothing of the others.
void InChild(const std::function<std::string()>& fn)
{
	int aFds[2];
	if (pipe(aFds) != 0)
		return;
	std::fflush(stdout);
	const pid_t child = fork();
	if (child == 0)
	{
		close(aFds[0]);
		const std::string text = fn();
		const ssize_t written = write(aFds[1], text.data(), text.size());
		_exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
	}
	close(aFds[1]);
	std::string text;
	char acBuffer[4096];
	for (ssize_t n; (n = read(aFds[0], acBuffer, sizeof acBuffer)) > 0;)
		text.append(acBuffer, static_cast<size_t>(n));
	close(aFds[0]);
	waitpid(child, nullptr, 0);
	std::fputs(text.c_str(), stdout);
}

std::string Format(const char* szFormat, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* szFormat, ...)
{
	char acText[512];
	va_list args;
	va_start(args, szFormat);
	std::vsnprintf(acText, sizeof acText, szFormat, args);
	va_end(args);
	return acText;
}

// Resident memory of one activated instance after a minute of playing:
// what creating the instance and playing added to the process, what
// loading the module added before it, and the process in all.
void PrintResidentMemory(double dRate)
{
	InChild([dRate] {
		const std::vector<float> signal = GuitarSignal(48000);
		const double dStart = ResidentBytes();
		auto module = brontal::host::Module::load(BRONTAL_BUNDLE_PATH);
		const double dLoaded = ResidentBytes();
		auto instance = Activated(module, dRate, 256);
		Play(*instance, signal, static_cast<size_t>(60.0 * dRate), 256);
		const double dAfter = ResidentBytes();
		return Format("resident: one instance at %.0f kHz after a minute of playing %.2f MiB"
		              " (the module's load %.2f MiB more, the process %.2f MiB)\n",
		              dRate / 1000.0, (dAfter - dLoaded) / 1048576.0, (dLoaded - dStart) / 1048576.0,
		              dAfter / 1048576.0);
	});
}

// Set-up times as a host meets them (wall clock: a host waits for them),
// each the median of seven.
void PrintSetupTimes()
{
	InChild([] {
		std::string text;
		const Clock::time_point loadStart = Clock::now();
		auto module = brontal::host::Module::load(BRONTAL_BUNDLE_PATH);
		text += Format("time: module load %.2f ms\n", 1e3 * Seconds(Clock::now() - loadStart));

		std::vector<double> create, activate, rateChange, reactivate;
		const std::vector<float> signal = GuitarSignal(48000);
		for (int i = 0; i < 7; ++i)
		{
			Clock::time_point t = Clock::now();
			brontal::host::PluginInstance instance(module);
			create.push_back(Seconds(Clock::now() - t));

			brontal::host::ProcessSetup setup;
			setup.sampleRate = 48000.0;
			setup.maxBlockSize = 256;
			t = Clock::now();
			instance.activate(setup);
			activate.push_back(Seconds(Clock::now() - t));

			setup.sampleRate = 96000.0;
			t = Clock::now();
			instance.activate(setup);
			rateChange.push_back(Seconds(Clock::now() - t));

			setup.sampleRate = 48000.0;
			instance.activate(setup);
			Play(instance, signal, 60 * 48000, 256);
			t = Clock::now();
			instance.activate(setup);
			reactivate.push_back(Seconds(Clock::now() - t));
		}
		text += Format("time: create and initialise (processor and controller) %.2f ms\n", 1e3 * Median(create));
		text += Format("time: setupProcessing + setActive(true) at 48 kHz %.3f ms\n", 1e3 * Median(activate));
		text += Format("time: rate change 48 -> 96 kHz (setActive(false), setupProcessing, setActive(true)) %.3f ms\n",
		               1e3 * Median(rateChange));
		text += Format("time: re-activation after a minute of playing at 48 kHz %.3f ms\n", 1e3 * Median(reactivate));
		return text;
	});
}

// Blocks of silence right after loud input, each timed; the same run seven
// times and each block's fastest kept, so that what the machine does
// meanwhile drops out and what the plug-in does stays.
void PrintSilentBlocks()
{
	constexpr int kHostBlock = 256;
	constexpr double kRateHz = 48000.0;
	const size_t nLoud = static_cast<size_t>(2.0 * kRateHz) / kHostBlock;
	const size_t nSilent = static_cast<size_t>(10.0 * kRateHz) / kHostBlock;
	std::vector<float> loud = GuitarSignal(48000);
	for (float& f : loud)
		f *= 2.0f;
	const std::vector<float> zeros(kHostBlock, 0.0f);
	std::vector<float> outL(kHostBlock), outR(kHostBlock);
	std::vector<double> fastestLoud(nLoud, 1e9), fastestSilent(nSilent, 1e9);
	auto module = brontal::host::Module::load(BRONTAL_BUNDLE_PATH);
	auto instance = Activated(module, kRateHz, kHostBlock);
	for (int iRun = 0; iRun < 7; ++iRun)
	{
		instance->activate({kRateHz, kHostBlock});
		for (size_t b = 0; b < nLoud + nSilent; ++b)
		{
			const bool bLoud = b < nLoud;
			float* pfIn = bLoud ? &loud[(b * kHostBlock) % (loud.size() - kHostBlock)] : const_cast<float*>(zeros.data());
			float* ins[2] = {pfIn, pfIn};
			float* outs[2] = {outL.data(), outR.data()};
			const double t = ThreadSeconds();
			instance->process({ins, 2, outs, 2, kHostBlock, 0});
			const double dTime = ThreadSeconds() - t;
			double& dFastest = bLoud ? fastestLoud[b] : fastestSilent[b - nLoud];
			dFastest = std::min(dFastest, dTime);
		}
	}
	const double dMedian = Median(fastestSilent);
	const double dWorst = *std::max_element(fastestSilent.begin(), fastestSilent.end());
	std::printf("silence: 10 s of silent 256-sample blocks at 48 kHz after 2 s of loud input (silence flags not set):"
	            " median %.2f us, worst %.2f us (%.2fx the median); loud blocks median %.2f us\n",
	            1e6 * dMedian, 1e6 * dWorst, dWorst / dMedian, 1e6 * Median(fastestLoud));
}

// brontal-render on a five-minute 48 kHz mono file at its default block:
// processor time of the whole run, loading and file input and output
// included.
void PrintRenderTool()
{
	const std::string sDir = "/tmp/brontal-bench-" + std::to_string(getpid());
	const std::string sIn = sDir + "/in.wav", sOut = sDir + "/out.wav";
	if (std::system(("mkdir -p " + sDir).c_str()) != 0)
		return;
	SF_INFO info{};
	info.samplerate = 48000;
	info.channels = 1;
	info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
	SNDFILE* file = sf_open(sIn.c_str(), SFM_WRITE, &info);
	const std::vector<float> signal = GuitarSignal(48000);
	for (int i = 0; file && i < 300; ++i)
		sf_writef_float(file, signal.data(), static_cast<sf_count_t>(signal.size()));
	sf_close(file);

	const pid_t child = fork();
	if (child == 0)
	{
		const int fdNull = open("/dev/null", O_WRONLY);
		dup2(fdNull, STDOUT_FILENO);
		execl(BRONTAL_RENDER_PATH, BRONTAL_RENDER_PATH, "--plugin", BRONTAL_BUNDLE_PATH, sIn.c_str(), sOut.c_str(),
		      static_cast<char*>(nullptr));
		_exit(127);
	}
	int iStatus = 0;
	struct rusage usage = {};
	const Clock::time_point t = Clock::now();
	wait4(child, &iStatus, 0, &usage);
	const double dWall = Seconds(Clock::now() - t);
	const double dCpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
	                    1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
	std::printf("render: brontal-render, 5-minute 48 kHz file, default block: %.3f s processor time (%.3f s wall),"
	            " %.0fx realtime, peak resident %.1f MiB%s\n",
	            dCpu, dWall, 300.0 / dCpu, static_cast<double>(usage.ru_maxrss) / 1024.0,
	            WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0 ? "" : " (FAILED)");
	std::remove(sIn.c_str());
	std::remove(sOut.c_str());
	rmdir(sDir.c_str());
}

#ifdef BRONTAL_BENCH_LV2
// Brontal's whole chain against Debian's guitarix GxAmplifier-X (amplifier,
// tone stack, cabinet; mono) on the same input, 48 kHz, 256-sample blocks,
// taking turns: the median time per sample of seven turns of 10 s each.
void PrintSideBySide()
{
	constexpr int kHostBlock = 256;
	constexpr double kRateHz = 48000.0;
	const char* szUri = "http://guitarix.sourceforge.net/plugins/gx_amp#GUITARIX";
	const size_t n = static_cast<size_t>(10.0 * kRateHz);
	const std::vector<float> signal = GuitarSignal(48000);
	try
	{
		brontal::lv2host::Lv2Plugin amp(szUri, kRateHz, kHostBlock);
		// Its cabinet at work: the output differs with the cabinet model off (18).
		std::vector<float> withCabinet(n / 10), without(n / 10);
		{
			brontal::lv2host::Lv2Plugin off(szUri, kRateHz, kHostBlock);
			off.setControl("c_model", 18.0f);
			for (size_t i = 0; i + kHostBlock <= withCabinet.size(); i += kHostBlock)
			{
				amp.run(&signal[i], &withCabinet[i], kHostBlock);
				off.run(&signal[i], &without[i], kHostBlock);
			}
		}
		double dDifference = 0.0;
		for (size_t i = 0; i < withCabinet.size(); ++i)
			dDifference = std::max(dDifference, static_cast<double>(std::fabs(withCabinet[i] - without[i])));

		auto module = brontal::host::Module::load(BRONTAL_BUNDLE_PATH);
		auto instance = Activated(module, kRateHz, kHostBlock);
		std::vector<float> out(kHostBlock);
		std::vector<double> brontal, gx;
		for (int iTurn = 0; iTurn < 7; ++iTurn)
		{
			double t = ThreadSeconds();
			Play(*instance, signal, n, kHostBlock);
			brontal.push_back((ThreadSeconds() - t) / static_cast<double>(n));
			t = ThreadSeconds();
			size_t position = 0;
			for (size_t done = 0; done < n; done += kHostBlock)
			{
				if (position + kHostBlock > signal.size())
					position = 0;
				amp.run(&signal[position], out.data(), kHostBlock);
				position += kHostBlock;
			}
			gx.push_back((ThreadSeconds() - t) / static_cast<double>(n));
		}
		std::printf("side by side, 48 kHz, 256-sample blocks: Brontal (whole chain, stereo) %.1f ns per sample,"
		            " GxAmplifier-X (amp, tone stack, cabinet; mono) %.1f ns per sample: Brontal %.2fx faster"
		            " (GxAmplifier-X cabinet %s)\n",
		            1e9 * Median(brontal), 1e9 * Median(gx), Median(gx) / Median(brontal),
		            dDifference > 1e-4 ? "active" : "INACTIVE");
	}
	catch (const std::exception& error)
	{
		std::printf("side by side: not run (%s)\n", error.what());
	}
}
#endif

// The cabinet at 48 kHz in 256-sample blocks: the built-in one, and a
// player's response of 0.5 s mono and 2 s stereo through CIrConvolver.
enum class Cabinet
{
	BuiltIn,
	HalfSecondMono,
	TwoSecondsStereo
};
constexpr int kCabinetBlock = 256;

// Seconds of processor time per sample for one pass over signal.
struct CabinetRun
{
	ParamTable params;
	double dRate = kRate;
	CMyConvolution builtIn;
	std::unique_ptr<CIrConvolver> pIr;

	explicit CabinetRun(Cabinet kind)
	{
		builtIn.SetSampleRate(&dRate);
		builtIn.SetParams(params.apTable);
		builtIn.Reset();
		if (kind == Cabinet::BuiltIn)
			return;
		const size_t nTaps = static_cast<size_t>((kind == Cabinet::HalfSecondMono ? 0.5 : 2.0) * kRate);
		std::vector<float> afLeft = Noise(nTaps, 1), afRight;
		if (kind == Cabinet::TwoSecondsStereo)
			afRight = Noise(nTaps, 2);
		pIr = std::make_unique<CIrConvolver>(afLeft, afRight);
	}
	void Block(const float* pfIn, float* pfOut1, float* pfOut2)
	{
		if (pIr)
			pIr->Process(pfIn, pfOut1, pfOut2, kCabinetBlock);
		else
			builtIn.Process(pfIn, pfIn, pfOut1, pfOut2, kCabinetBlock);
	}
};

void BM_Cabinet(benchmark::State& state)
{
	CabinetRun run(static_cast<Cabinet>(state.range(0)));
	const std::vector<float> signal = GuitarSignal(48000);
	std::vector<float> out1(kCabinetBlock), out2(kCabinetBlock);
	size_t position = 0;
	for (auto _ : state)
	{
		run.Block(&signal[position], out1.data(), out2.data());
		benchmark::DoNotOptimize(out1.data());
		position = (position + kCabinetBlock) % (signal.size() - kCabinetBlock);
	}
	state.counters["per_sample"] =
	    benchmark::Counter(kCabinetBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The three side by side in one run, each the fastest of seven passes over
// four seconds, and the worst single block of the stereo one (a level's
// period ending costs more than the blocks between).
void PrintCabinets()
{
	const std::vector<float> signal = GuitarSignal(4 * 48000);
	std::vector<float> out1(kCabinetBlock), out2(kCabinetBlock);
	double adPerSample[3] = {}, dWorstBlock = 0.0;
	for (int iKind = 0; iKind < 3; ++iKind)
	{
		CabinetRun run(static_cast<Cabinet>(iKind));
		double dBest = 1e300;
		for (int iPass = 0; iPass < 7; ++iPass)
		{
			const auto start = std::chrono::steady_clock::now();
			for (size_t i = 0; i + kCabinetBlock <= signal.size(); i += kCabinetBlock)
			{
				const auto blockStart = std::chrono::steady_clock::now();
				run.Block(&signal[i], out1.data(), out2.data());
				if (iKind == 2 && iPass > 0)
					dWorstBlock = std::max(dWorstBlock, std::chrono::duration<double>(std::chrono::steady_clock::now() - blockStart).count());
			}
			dBest = std::min(dBest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
		}
		adPerSample[iKind] = dBest / static_cast<double>(signal.size() / kCabinetBlock * kCabinetBlock);
	}
	std::printf("cabinet, 48 kHz, %d-sample blocks: built-in %.1f ns per sample; 0.5 s mono response %.1f ns (%.2fx);"
	            " 2 s stereo response %.1f ns (%.2fx), its worst block %.0f us of %.0f us\n",
	            kCabinetBlock, 1e9 * adPerSample[0], 1e9 * adPerSample[1], adPerSample[1] / adPerSample[0],
	            1e9 * adPerSample[2], adPerSample[2] / adPerSample[0], 1e6 * dWorstBlock, 1e6 * kCabinetBlock / kRate);
}

void PrintMemory()
{
	const size_t before = HeapInUse();
	{
		ParamTable params;
		double dRate = kRate;
		ParamCell fTempo{120.0f};
		auto chain = std::make_unique<CProcessAudio>();
		chain->SetBlockSize(kBlock);
		chain->SetSampleRate(&dRate);
		chain->SetBufferCount(CProcessAudio::kBufferCount);
		chain->SetParamCount(kNumParams);
		chain->SetTempo(&fTempo);
		if (!chain->Init())
			std::printf("memory: the chain refused to be prepared\n");
		std::printf("memory: chain %.2f MiB\n", static_cast<double>(HeapInUse() - before) / (1024.0 * 1024.0));
	}
	auto module = brontal::host::Module::load(BRONTAL_BUNDLE_PATH);
	const size_t withModule = HeapInUse();
	{
		brontal::host::PluginInstance instance(module);
		instance.activate({});
		std::printf("memory: plug-in instance (processor + controller) %.2f MiB\n",
		            static_cast<double>(HeapInUse() - withModule) / (1024.0 * 1024.0));
	}
}

} // namespace

BENCHMARK(BM_Stage<CEffectSourceSelector>)->Name("stage/01_source_selector");
BENCHMARK(BM_Stage<CGainDEntree>)->Name("stage/02_input_gain");
BENCHMARK(BM_Stage<CComputeInputVumeter>)->Name("stage/03_input_meter");
BENCHMARK(BM_Stage<CMyComp>)->Name("stage/04_gate_compressor");
BENCHMARK(BM_Stage<CMyEqu, Mode::EquPre>)->Name("stage/05_equaliser_pre");
BENCHMARK(BM_Stage<CMyDisto>)->Name("stage/06_distortion");
BENCHMARK(BM_Stage<CMyConvolution>)->Name("stage/07_cabinet");
BENCHMARK(BM_Stage<CMyEqu, Mode::EquPost>)->Name("stage/08_equaliser_post");
BENCHMARK(BM_Stage<CMyChorus>)->Name("stage/09_chorus");
BENCHMARK(BM_Stage<CMyDelay>)->Name("stage/10_delay");
BENCHMARK(BM_Stage<CMyReverb>)->Name("stage/11_reverb");
BENCHMARK(BM_Stage<CMyComp, Mode::Saturation>)->Name("stage/12_saturator");
BENCHMARK(BM_Stage<CComputeOutputVumeters>)->Name("stage/13_output_meters");
BENCHMARK(BM_Cabinet)->Name("cabinet/built_in/b256")->Arg(static_cast<int>(Cabinet::BuiltIn));
BENCHMARK(BM_Cabinet)->Name("cabinet/ir_0.5s_mono/b256")->Arg(static_cast<int>(Cabinet::HalfSecondMono));
BENCHMARK(BM_Cabinet)->Name("cabinet/ir_2s_stereo/b256")->Arg(static_cast<int>(Cabinet::TwoSecondsStereo));
BENCHMARK(BM_Tuner)->Name("tuner/48k/off")->Args({48000, 0, 0});
BENCHMARK(BM_Tuner)->Name("tuner/48k/notes")->Args({48000, 1, 0});
BENCHMARK(BM_Tuner)->Name("tuner/48k/noise")->Args({48000, 1, 1});
BENCHMARK(BM_Tuner)->Name("tuner/44k/notes")->Args({44100, 1, 0});
BENCHMARK(BM_Tuner)->Name("tuner/96k/notes")->Args({96000, 1, 0});
BENCHMARK(BM_Tuner)->Name("tuner/96k/noise")->Args({96000, 1, 1});
BENCHMARK(BM_Chain)->Name("chain/whole");
BENCHMARK(BM_Bundle)->Name("bundle/48k/b256")->Args({48000, 256, 0});
BENCHMARK(BM_Bundle)->Name("bundle/48k/b32")->Args({48000, 32, 0});
BENCHMARK(BM_Bundle)->Name("bundle/44k/b256")->Args({44100, 256, 0});
BENCHMARK(BM_Bundle)->Name("bundle/96k/b256")->Args({96000, 256, 0});
BENCHMARK(BM_Bundle)->Name("bundle/48k/b1")->Args({48000, 1, 0});
BENCHMARK(BM_Bundle)->Name("bundle/48k/b256/automated")->Args({48000, 256, 1});

int main(int argc, char** argv)
{
	// A run of chosen benchmarks leaves the one-off figures out.
	const bool bOneOff = std::none_of(argv + 1, argv + argc, [](const char* szArg) {
		return std::string(szArg).rfind("--benchmark_filter", 0) == 0;
	});
	if (bOneOff)
	{
		PrintResidentMemory(48000.0);
		PrintResidentMemory(192000.0);
		PrintMemory();
		PrintCabinets();
		PrintSetupTimes();
		PrintSilentBlocks();
		PrintRenderTool();
#ifdef BRONTAL_BENCH_LV2
		PrintSideBySide();
#endif
	}
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
