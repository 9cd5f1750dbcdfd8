// Speed of every stage and of the whole plug-in, and the memory one instance
// takes. "per_sample" is the time one sample takes at 48 kHz in blocks of
// 1024; "realtime" is seconds of audio processed per second of wall time.

#include "ComputeInputVumeter.h"
#include "ComputeOutputVumeters.h"
#include "EffectSourceSelector.h"
#include "GainDEntree.h"
#include "MyChorus.h"
#include "MyComp.h"
#include "MyConvolution.h"
#include "MyDelay.h"
#include "MyDisto.h"
#include "MyEqu.h"
#include "MyReverb.h"
#include "brontalparams.h"
#include "dspfixture.h"
#include "processaudio.h"

#include "host/module.h"
#include "host/plugininstance.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <vector>

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

void BM_Chain(benchmark::State& state)
{
	ParamTable params;
	double dRate = kRate;
	ParamCell fTempo{120.0f};
	CProcessAudio chain;
	chain.SetBlockSize(kBlock);
	chain.SetSampleRate(&dRate);
	chain.SetBufferCount(24);
	chain.SetParamCount(kNumParams);
	chain.SetTempo(&fTempo);
	chain.Init();
	for (int i = kFirstParam; i <= kLastParam; ++i)
		chain.SetParamPointer(i, &params.afCells[i]);

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

// The whole plug-in as a host runs it: through the bundle, 512-sample blocks.
void BM_Bundle(benchmark::State& state)
{
	constexpr int kHostBlock = 512;
	auto module = brontal::host::Module::load(BRONTAL_BUNDLE_PATH);
	brontal::host::PluginInstance instance(module);
	brontal::host::ProcessSetup setup;
	setup.sampleRate = kRate;
	setup.maxBlockSize = kHostBlock;
	instance.activate(setup);

	std::vector<float> signal = GuitarSignal(48000);
	std::vector<float> outL(kHostBlock), outR(kHostBlock);
	size_t position = 0;
	for (auto _ : state)
	{
		float* ins[2] = {&signal[position], &signal[position]};
		float* outs[2] = {outL.data(), outR.data()};
		instance.process({ins, 2, outs, 2, kHostBlock, 0});
		benchmark::DoNotOptimize(outL.data());
		position = (position + kHostBlock) % (signal.size() - kHostBlock);
	}
	state.counters["per_sample"] = benchmark::Counter(
	    kHostBlock, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
	state.counters["realtime"] = benchmark::Counter(kHostBlock / kRate, benchmark::Counter::kIsIterationInvariantRate);
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
		chain->SetBufferCount(24);
		chain->SetParamCount(kNumParams);
		chain->SetTempo(&fTempo);
		chain->Init();
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
BENCHMARK(BM_Chain)->Name("chain/whole");
BENCHMARK(BM_Bundle)->Name("bundle/process_512");

int main(int argc, char** argv)
{
	PrintMemory();
	benchmark::Initialize(&argc, argv);
	if (benchmark::ReportUnrecognizedArguments(argc, argv))
		return 1;
	benchmark::RunSpecifiedBenchmarks();
	benchmark::Shutdown();
	return 0;
}
