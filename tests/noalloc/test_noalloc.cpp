// The audio thread never allocates, locks or enters the kernel: counts every
// heap allocation, every lock taken and every system call made by the thread
// that runs process, while it runs process. The allocator and the pthread
// locks are replaced for the whole test binary, module included; system
// calls are caught by a seccomp filter on the audio thread alone, which
// traps every call it makes (the handler counts it and makes it on the
// thread's behalf). The host's user-interface thread meanwhile keeps the
// editor open and its timer running; only the audio thread's calls count.

#include "bundlefixture.h"
#include "cabinetpayload.h"
#include "editorfixture.h"
#include "lv2host/lv2host.h"
#include "engine.h"

#include "pluginterfaces/vst/ivstmessage.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <malloc.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {
// On for the thread under test while it is inside process.
thread_local bool t_counting = false;
std::atomic<long> g_allocations{0};
// Frees too: releasing memory can wait on the allocator as much as taking it.
std::atomic<long> g_frees{0};
std::atomic<long> g_locks{0};
std::atomic<long> g_syscalls{0};
std::atomic<long> g_lastSyscall{-1};

void note(std::atomic<long>& counter)
{
	if (t_counting)
		counter.fetch_add(1, std::memory_order_relaxed);
}

struct Counts
{
	long allocations, frees, locks, syscalls;
};

Counts counts()
{
	return {g_allocations.load(), g_frees.load(), g_locks.load(), g_syscalls.load()};
}

void clearCounts()
{
	g_allocations = 0;
	g_frees = 0;
	g_locks = 0;
	g_syscalls = 0;
	g_lastSyscall = -1;
}

// The C library's own lock functions, found on first use.
using LockFunction = int (*)(void*);
struct NextLock
{
	const char* szName;
	std::atomic<LockFunction> function{nullptr};

	int operator()(void* pLock)
	{
		LockFunction f = function.load(std::memory_order_relaxed);
		if (!f)
		{
			f = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, szName));
			function.store(f, std::memory_order_relaxed);
		}
		return f(pLock);
	}
};
NextLock g_mutexLock{"pthread_mutex_lock"}, g_mutexTryLock{"pthread_mutex_trylock"};
NextLock g_readLock{"pthread_rwlock_rdlock"}, g_writeLock{"pthread_rwlock_wrlock"};
NextLock g_readTryLock{"pthread_rwlock_tryrdlock"}, g_writeTryLock{"pthread_rwlock_trywrlock"};
} // namespace

extern "C" {
void* malloc(size_t size)
{
	note(g_allocations);
	return __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
	note(g_allocations);
	return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size)
{
	note(g_allocations);
	return __libc_realloc(pointer, size);
}
void* memalign(size_t alignment, size_t size)
{
	note(g_allocations);
	return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size)
{
	note(g_allocations);
	return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, size_t alignment, size_t size)
{
	note(g_allocations);
	*result = __libc_memalign(alignment, size);
	return *result ? 0 : 12;
}
void free(void* pointer)
{
	if (pointer)
		note(g_frees);
	__libc_free(pointer);
}

// A lock can wait however long its holder takes, contended or not.
int pthread_mutex_lock(pthread_mutex_t* mutex)
{
	note(g_locks);
	return g_mutexLock(mutex);
}
int pthread_mutex_trylock(pthread_mutex_t* mutex)
{
	note(g_locks);
	return g_mutexTryLock(mutex);
}
int pthread_rwlock_rdlock(pthread_rwlock_t* lock)
{
	note(g_locks);
	return g_readLock(lock);
}
int pthread_rwlock_wrlock(pthread_rwlock_t* lock)
{
	note(g_locks);
	return g_writeLock(lock);
}
int pthread_rwlock_tryrdlock(pthread_rwlock_t* lock)
{
	note(g_locks);
	return g_readTryLock(lock);
}
int pthread_rwlock_trywrlock(pthread_rwlock_t* lock)
{
	note(g_locks);
	return g_writeTryLock(lock);
}

// The one place the filtered thread may enter the kernel from: the handler
// makes each trapped call through it.
long brontal_test_syscall(long nr, long a1, long a2, long a3, long a4, long a5, long a6);
extern const char brontal_test_syscall_return[];
}

__asm__(".text\n"
        ".globl brontal_test_syscall\n"
        ".type brontal_test_syscall, @function\n"
        "brontal_test_syscall:\n"
        "  mov %rdi, %rax\n"
        "  mov %rsi, %rdi\n"
        "  mov %rdx, %rsi\n"
        "  mov %rcx, %rdx\n"
        "  mov %r8, %r10\n"
        "  mov %r9, %r8\n"
        "  mov 8(%rsp), %r9\n"
        "  syscall\n"
        ".globl brontal_test_syscall_return\n"
        "brontal_test_syscall_return:\n"
        "  ret\n");

using namespace bundletest;
using namespace brontal::editortest;
using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

void onTrappedSyscall(int, siginfo_t* info, void* context)
{
	greg_t* registers = static_cast<ucontext_t*>(context)->uc_mcontext.gregs;
	if (t_counting)
	{
		g_syscalls.fetch_add(1, std::memory_order_relaxed);
		g_lastSyscall.store(info->si_syscall, std::memory_order_relaxed);
	}
	registers[REG_RAX] = brontal_test_syscall(info->si_syscall, registers[REG_RDI], registers[REG_RSI],
	                                          registers[REG_RDX], registers[REG_R10], registers[REG_R8],
	                                          registers[REG_R9]);
}

// From here on every system call of the calling thread traps, except those
// made from brontal_test_syscall and the return from the handler.
bool trapSystemCallsOfThisThread()
{
	struct sigaction action = {};
	action.sa_sigaction = onTrappedSyscall;
	action.sa_flags = SA_SIGINFO | SA_NODEFER;
	if (sigaction(SIGSYS, &action, nullptr) != 0)
		return false;
	const auto ip = reinterpret_cast<std::uint64_t>(brontal_test_syscall_return);
	sock_filter filter[] = {
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
	    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_rt_sigreturn, 0, 1),
	    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, instruction_pointer)),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(ip), 0, 3),
	    BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, instruction_pointer) + 4),
	    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(ip >> 32), 0, 1),
	    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
	    BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
	};
	sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
	return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// One thing done with counting on, on the calling thread.
template <typename Fn> void counted(Fn fn)
{
	t_counting = true;
	fn();
	t_counting = false;
}

// The audio thread's work: blocks of every size class with changes of the
// settings that switch stages in and out (the tuner measuring and muting
// among them), tempo moves, silence and bypass.
// Returns false at the first result that is not kResultOk.
bool processVariety(host::PluginInstance& instance)
{
	std::vector<float> inL(8192), inR(8192), outL(8192), outR(8192);
	for (size_t i = 0; i < inL.size(); ++i)
		inL[i] = inR[i] = 0.9f * static_cast<float>(std::sin(2.0 * M_PI * 110.0 * static_cast<double>(i) / 48000.0));
	float* ins[2] = {inL.data(), inR.data()};
	float* outs[2] = {outL.data(), outR.data()};
	const std::pair<ParamID, double> settings[] = {
	    {kDistortionLevel, 1.0}, {kTunerOnOff, 1.0},          {kStereoEnhancerOnOff, 1.0}, {kReverbLevel, 1.0},
	    {kDelayLevel, 1.0},      {kTunerReference, 0.1},      {kDistortionOnOff, 0.0},     {kDistortionOnOff, 0.5},
	    {kModulationOnOff, 0.0}, {kBypass, 0.0},              {kBypass, 1.0},              {kBypass, 0.0},
	    {kInputSelection, 0.0},  {kGateCompOnOff, 0.0},       {kTunerOnOff, 0.0},
	    // The delay's toggle pedal, reported back as the switch's change, and
	    // a program change, which sets every panel control.
	    {35, 1.0},               {42, 0.5}};
	int block = 0;
	for (int32 n : {1, 64, 1023, 1024, 1025, 4096, 8192, 333, 0})
		for (const auto& [id, value] : settings)
		{
			instance.block().inputChanges().add(id, value);
			instance.block().setTempo(60.0 + block++);
			tresult result = kResultOk;
			counted([&] { result = instance.process({ins, 2, outs, 2, n, block % 5 == 0 ? 3u : 0u}); });
			if (result != kResultOk)
				return false;
		}
	return true;
}

// Proves on the calling thread that each counter sees what it counts.
Counts countOneOfEach()
{
	// A thread's first allocation sets up its arena, with system calls.
	::operator delete(::operator new(100));
	clearCounts();
	std::mutex mutex;
	counted([&] {
		::operator delete(::operator new(100));
		mutex.lock();
		mutex.unlock();
		EXPECT_EQ(getppid(), getppid());
	});
	return counts();
}

void expectNothingCounted(const char* what)
{
	EXPECT_EQ(g_allocations.load(), 0) << what;
	EXPECT_EQ(g_frees.load(), 0) << what;
	EXPECT_EQ(g_locks.load(), 0) << what;
	EXPECT_EQ(g_syscalls.load(), 0) << what << ": the last system call was number " << g_lastSyscall.load();
}

// A cabinet response sent to the processor as the editor sends it, or an
// empty one for the built-in cabinet.
void sendCabinet(host::PluginInstance& instance, int iChannels, int iFrames)
{
	std::vector<char> payload;
	if (iChannels > 0)
		payload = cabinettest::Payload(44100, cabinettest::Decaying(static_cast<size_t>(iFrames), 1),
		                               iChannels == 2 ? cabinettest::Decaying(static_cast<size_t>(iFrames), 2) : std::vector<float>{});
	IConnectionPoint* point = host::queryInterface<IConnectionPoint>(instance.component());
	IMessage* message = new HostMessage;
	message->setMessageID("BrontalCabinet");
	if (!payload.empty()) // the built-in mix: no payload at all
		message->getAttributes()->setBinary("Payload", payload.data(), static_cast<uint32>(payload.size()));
	EXPECT_EQ(point->notify(message), kResultOk);
	message->release();
	point->release();
}

class NoBlocking : public EditorFixture
{
};

} // namespace

TEST(NoAllocation, ProcessNeverTouchesTheHeap)
{
	const Counts control = countOneOfEach();
	ASSERT_EQ(control.allocations, 1);
	ASSERT_EQ(control.frees, 1);
	ASSERT_EQ(control.locks, 1);
	clearCounts();

	auto instance = activeInstance(48000.0, 8192);
	EXPECT_TRUE(processVariety(*instance));
	// Cabinet responses taken, crossfaded and let go by the audio thread.
	for (int iChannels : {2, 1, 0})
	{
		sendCabinet(*instance, iChannels, 30000);
		EXPECT_TRUE(processVariety(*instance));
	}
	EXPECT_EQ(g_allocations.load(), 0);
	EXPECT_EQ(g_frees.load(), 0);
}

TEST_F(NoBlocking, AudioThreadNeitherAllocatesNorLocksNorEntersTheKernel)
{
	host::ProcessSetup setup;
	setup.maxBlockSize = 8192;
	instance->activate(setup);
	openEditor();

	std::atomic<bool> done{false};
	// The audio thread goes on until the editor has worked beside it for a
	// while, however fast the chain is.
	constexpr int kTicksBeside = 20;
	std::atomic<int> ticks{0};
	bool filtered = false, processed = false;
	Counts control{};
	std::thread audio([&] {
		filtered = trapSystemCallsOfThisThread();
		if (filtered)
		{
			control = countOneOfEach();
			clearCounts();
			for (int round = 0; (round < 3 || ticks < kTicksBeside) && (processed = processVariety(*instance)); ++round)
			{
			}
		}
		done = true;
	});
	// The user-interface thread meanwhile: the editor's timer, the meters
	// forwarded, parameters changed, the state saved, cabinet responses
	// (mono, stereo, the built-in one) handed over and crossfaded.
	while (!done)
	{
		if (ticks % 4 == 1)
			sendCabinet(*instance, ticks % 12 == 1 ? 1 : ticks % 12 == 5 ? 2 : 0, 30000);
		controller()->setParamNormalized(kOutputLeftVumeter, (ticks % 10) / 10.0);
		controller()->setParamNormalized(kDelayLevel, (ticks % 7) / 7.0);
		host::ByteStream state;
		EXPECT_EQ(controller()->getState(&state), kResultOk);
		session->tick();
		++ticks;
	}
	audio.join();
	ASSERT_TRUE(filtered) << "seccomp refused the filter";
	EXPECT_EQ(control.allocations, 1);
	EXPECT_EQ(control.frees, 1);
	EXPECT_EQ(control.locks, 1);
	EXPECT_EQ(control.syscalls, 2);
	EXPECT_TRUE(processed);
	EXPECT_GE(ticks, kTicksBeside);
	expectNothingCounted("audio thread, editor open");
}

// The LV2 build's run on a thread of its own, as a host's audio thread calls
// it: blocks of every size class, the same settings moved through the ports,
// the bypass through lv2:enabled, a new tempo in every block's time:Position,
// mapped MIDI controllers (a footswitch and a level), program changes,
// patch:Gets of the cabinet and what they tell on the notify port; a
// patch:Set of a cabinet file scheduled, its work done off the audio thread,
// the response handed back in the next block and the path told.
TEST(NoAllocation, Lv2RunNeitherAllocatesNorLocksNorEntersTheKernel)
{
	setenv("LV2_PATH", (std::string(BRONTAL_LV2_DIR) + ":/usr/lib/lv2").c_str(), 1);
	const std::string config = "/tmp/brontal-noalloc-lv2-" + std::to_string(getpid());
	std::system(("mkdir -p " + config + "/brontal").c_str());
	{
		std::FILE* pFile = std::fopen((config + "/brontal/midi-mappings.txt").c_str(), "w");
		ASSERT_TRUE(pFile);
		std::fputs("4 80 any toggle\n11 7 any follow\n", pFile);
		std::fclose(pFile);
	}
	// A cabinet file: 16-bit mono PCM at 48 kHz, one impulse.
	const std::string irFile = config + "/impulse.wav";
	{
		std::vector<std::int16_t> samples(4800, 0);
		samples[10] = 20000;
		const auto word = [](std::FILE* f, std::uint32_t v, int bytes) { std::fwrite(&v, 1, static_cast<size_t>(bytes), f); };
		std::FILE* f = std::fopen(irFile.c_str(), "wb");
		ASSERT_TRUE(f);
		const std::uint32_t data = static_cast<std::uint32_t>(samples.size() * 2);
		std::fputs("RIFF", f);
		word(f, 36 + data, 4);
		std::fputs("WAVEfmt ", f);
		for (const auto& [v, n] : {std::pair<std::uint32_t, int>{16, 4}, {1, 2}, {1, 2}, {48000, 4}, {96000, 4}, {2, 2}, {16, 2}})
			word(f, v, n);
		std::fputs("data", f);
		word(f, data, 4);
		std::fwrite(samples.data(), 2, samples.size(), f);
		std::fclose(f);
	}
	setenv("XDG_CONFIG_HOME", config.c_str(), 1);
	brontal::lv2host::Lv2Options options{48000.0, 8192, true};
	options.bWorkAfterEachBlock = false;
	brontal::lv2host::Lv2Plugin plugin("https://brontal.example/lv2/brontal", options);
	unsetenv("XDG_CONFIG_HOME");
	std::vector<float> inL(8192), inR(8192), outL(8192), outR(8192);
	for (size_t i = 0; i < inL.size(); ++i)
		inL[i] = inR[i] = 0.9f * static_cast<float>(std::sin(2.0 * M_PI * 110.0 * static_cast<double>(i) / 48000.0));
	const float* ins[2] = {inL.data(), inR.data()};
	float* outs[2] = {outL.data(), outR.data()};
	const std::pair<const char*, float> settings[] = {
	    {"Distortion Level", 1.0f}, {"Stereo Enhancer ON OFF", 1.0f}, {"Reverb Level", 1.0f},
	    {"Delay Level", 1.0f},      {"Distortion ON OFF", 0.0f},      {"Distortion ON OFF", 0.5f},
	    {"Modulation ON OFF", 0.0f}, {"Enabled", 1.0f},               {"Enabled", 0.0f},
	    {"Enabled", 1.0f},          {"Input Selection", 0.0f},        {"Gate/Compressor ON OFF", 0.0f}};
	const std::uint32_t midi = plugin.map("http://lv2plug.in/ns/ext/midi#MidiEvent");
	const char* const cabinet = "https://brontal.example/lv2/brontal#cabinet";
	// Events queued before the audio thread starts: it must not build them.
	plugin.sendPatchSetPath(cabinet, irFile);

	const auto onAudioThread = [&](const char* what, const std::function<void()>& blocks) {
		bool filtered = false;
		Counts control{};
		std::thread audio([&] {
			filtered = trapSystemCallsOfThisThread();
			if (!filtered)
				return;
			control = countOneOfEach();
			clearCounts();
			blocks();
		});
		audio.join();
		ASSERT_TRUE(filtered) << "seccomp refused the filter";
		EXPECT_EQ(control.allocations, 1);
		EXPECT_EQ(control.locks, 1);
		EXPECT_EQ(control.syscalls, 2);
		expectNothingCounted(what);
	};
	const auto variety = [&] {
		int block = 0;
		for (int n : {1, 64, 1023, 1024, 1025, 4096, 8192, 333, 0})
			for (const auto& [szPort, fValue] : settings)
			{
				plugin.setControl(szPort, fValue);
				plugin.setTempo(60.0 + block++);
				const std::uint8_t messages[][3] = {{0xB0, 80, 127},
				                                    {0xB3, 7, static_cast<std::uint8_t>(block % 128)},
				                                    {0xC0, static_cast<std::uint8_t>(block % 12), 0}};
				for (const auto& message : messages)
					plugin.sendEvent(midi, message, message[0] == 0xC0 ? 2 : 3);
				counted([&] { plugin.run(ins, outs, n); });
			}
	};
	onAudioThread("LV2 run, the cabinet asked for", [&] {
		counted([&] { plugin.run(ins, outs, 256); });
		variety();
	});
	// The worker thread's part: the file read and prepared.
	plugin.work();
	onAudioThread("LV2 run, the cabinet handed back", [&] {
		variety();
		counted([&] { plugin.run(ins, outs, 256); });
	});
	std::system(("rm -rf " + config).c_str());
	EXPECT_GT(outL[100] * outL[100] + outL[200] * outL[200], 0.0f) << "the chain did not run";
}

// Brontal Live's callback on the same audio thread: periods of the sizes a
// device hands over (a JACK period change can outgrow the prepared one),
// one and two input channels, with controller changes and program changes
// arriving as MIDI and the editor's changes through the queue, while the UI
// thread posts, drains meters into the controller and rebuilds the MIDI
// table.
TEST_F(NoBlocking, LiveCallbackNeitherAllocatesNorLocksNorEntersTheKernel)
{
	brontal::live::Engine engine(*instance);
	brontal::live::DeviceFormat format;
	format.sampleRate = 48000;
	format.period = 256;
	engine.prepare(format, 2);
	openEditor();

	std::atomic<bool> done{false};
	constexpr int kTicksBeside = 20;
	std::atomic<int> ticks{0};
	bool filtered = false;
	Counts control{};
	std::thread audio([&] {
		filtered = trapSystemCallsOfThisThread();
		if (!filtered)
		{
			done = true;
			return;
		}
		control = countOneOfEach();
		clearCounts();
		std::vector<float> inL(1024), inR(1024), outL(1024), outR(1024);
		for (size_t i = 0; i < inL.size(); ++i)
			inL[i] = inR[i] = 0.9f * static_cast<float>(std::sin(2.0 * M_PI * 110.0 * static_cast<double>(i) / 48000.0));
		const float* ins[2] = {inL.data(), inR.data()};
		float* outs[2] = {outL.data(), outR.data()};
		const brontal::live::MidiMessage midi[] = {{0, {0xB0, 7, 100}, 3}, {10, {0xC3, 2, 0}, 2}, {200, {0x90, 60, 1}, 3}};
		for (int round = 0; round < 3 || ticks < kTicksBeside; ++round)
			for (int frames : {256, 64, 1, 1000, 0})
				for (int inputs : {1, 2})
					counted([&] { engine.process({ins, inputs, outs, 2, frames, midi, round % 2 ? 3 : 0}); });
		done = true;
	});
	while (!done)
	{
		engine.postParameter(kDelayLevel, (ticks % 7) / 7.0);
		// As a MIDI input's thread hands its messages on.
		engine.midiReceived({0, {0xB1, 7, static_cast<std::uint8_t>(ticks % 128)}, 3});
		engine.drain([](int) {});
		engine.refreshMidiMapping();
		session->tick();
		++ticks;
	}
	audio.join();
	ASSERT_TRUE(filtered) << "seccomp refused the filter";
	EXPECT_EQ(control.allocations, 1);
	EXPECT_EQ(control.syscalls, 2);
	EXPECT_GE(ticks, kTicksBeside);
	EXPECT_GT(engine.stats().callbacks, 0u);
	expectNothingCounted("Brontal Live's callback, editor open");
}
