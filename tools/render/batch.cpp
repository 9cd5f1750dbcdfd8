#include "batch.h"

#include "renderer.h"

#include "host/module.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace brontal::host {

namespace {

namespace fs = std::filesystem;

struct Job
{
	enum class State
	{
		Waiting,
		Running,
		Done,
		Failed
	};

	std::string input;
	std::string output;
	State state = State::Waiting;
	std::string result; // the summary line, or why it failed
	pid_t pid = -1;
	int fd = -1;          // read end of the child's report pipe
	std::string received; // report bytes not yet split into lines
	int percent = 0;
	int line = -1; // the job's line on the terminal, counted from the first
};

// The child's report, one line each: "P <percent>", then "D <summary>" or
// "E <message>".
void report(int fd, char kind, const std::string& text)
{
	std::string line = std::string(1, kind) + " " + text;
	for (char& c : line)
	{
		if (c == '\n' || c == '\r')
			c = ' ';
	}
	line += '\n';
	std::size_t done = 0;
	while (done < line.size())
	{
		const ssize_t written = write(fd, line.data() + done, line.size() - done);
		if (written < 0 && errno == EINTR)
			continue;
		if (written <= 0)
			return; // the parent is gone; the render itself still cleans up
		done += static_cast<std::size_t>(written);
	}
}

[[noreturn]] void runChild(const Options& options, const Job& job, int fd)
{
	std::signal(SIGPIPE, SIG_IGN);
	Options single = options;
	single.inputs.clear();
	single.outputDir.clear();
	single.input = job.input;
	single.output = job.output;
	int status = 0;
	try
	{
		int shown = -1;
		const RenderSummary summary = render(single, [&](long long done, long long total, int) {
			const int percent = total > 0 ? static_cast<int>(100 * done / total) : 0;
			if (percent != shown)
				report(fd, 'P', std::to_string(shown = percent));
		});
		report(fd, 'D', summaryLine(summary));
	}
	catch (const std::exception& error)
	{
		report(fd, 'E', error.what());
		status = 1;
	}
	close(fd);
	_exit(status);
}

// A child that died before it could clean up may leave its hidden temporary
// file (".NAME.XXXXXX") beside the output; never the output itself.
void removeTemporaries(const Job& job)
{
	const fs::path output(job.output);
	const std::string prefix = "." + output.filename().string() + ".";
	std::error_code error;
	for (const fs::directory_entry& entry : fs::directory_iterator(output.parent_path(), error))
	{
		const std::string name = entry.path().filename().string();
		if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
			fs::remove(entry.path(), error);
	}
}

class Display
{
public:
	Display() : terminal(isatty(STDOUT_FILENO))
	{
		winsize size{};
		if (terminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
		{
			columns = size.ws_col;
			rows = size.ws_row;
		}
	}

	// A job has started, or failed before it could start.
	void begin(Job& job)
	{
		if (!terminal)
			return;
		job.line = lines++;
		std::fputs((fit(text(job)) + "\n").c_str(), stdout);
		std::fflush(stdout);
	}

	void progress(const Job& job) { rewrite(job); }

	void finish(const Job& job)
	{
		if (terminal)
			rewrite(job);
		else if (job.state == Job::State::Done)
			std::printf("%s: %s\n", escapeControls(job.output).c_str(), escapeControls(job.result).c_str());
		std::fflush(stdout);
		if (!terminal && job.state == Job::State::Failed)
			std::fprintf(stderr, "brontal-render: %s: %s\n", escapeControls(job.input).c_str(),
			             escapeControls(job.result).c_str());
	}

	bool onTerminal() const { return terminal; }

private:
	static std::string text(const Job& job)
	{
		char percent[16];
		switch (job.state)
		{
			case Job::State::Done: return "[done] " + job.output + ": " + job.result;
			case Job::State::Failed: return "[fail] " + job.input + ": " + job.result;
			default:
				std::snprintf(percent, sizeof percent, "[%3d%%] ", job.percent);
				return percent + job.input;
		}
	}

	// Lines never wrap, so moving up by lines lands on the right one.
	std::string fit(const std::string& line) const
	{
		return line.size() < columns ? line : line.substr(0, columns - 1);
	}

	void rewrite(const Job& job)
	{
		const int up = lines - job.line;
		if (!terminal || job.line < 0 || up >= rows)
			return; // scrolled out of reach
		std::printf("\x1b[%dA\r\x1b[2K%s\x1b[%dB\r", up, fit(text(job)).c_str(), up);
		std::fflush(stdout);
	}

	bool terminal;
	std::size_t columns = 80;
	int rows = 24;
	int lines = 0;
};

std::vector<Job> planJobs(const Options& options)
{
	std::error_code error;
	fs::create_directories(options.outputDir, error);
	if (!fs::is_directory(options.outputDir, error))
		throw HostError("cannot make the output folder " + options.outputDir +
		                (error ? ": " + error.message() : std::string()));

	std::vector<Job> jobs;
	for (const std::string& input : options.inputs)
	{
		Job job;
		job.input = input;
		const fs::path name = fs::path(input).filename();
		job.output = (fs::path(options.outputDir) / name).string();
		if (name.empty() || name == "." || name == "..")
			job.result = "not a file name";
		else if (fs::exists(input, error) && fs::equivalent(input, job.output, error))
			job.result = "the output would overwrite the input itself";
		for (const Job& earlier : jobs)
		{
			if (job.result.empty() && earlier.output == job.output)
				job.result = "has the same name as " + earlier.input + ", whose output it would replace";
		}
		if (!job.result.empty())
			job.state = Job::State::Failed;
		jobs.push_back(std::move(job));
	}
	return jobs;
}

void start(const Options& options, Job& job)
{
	int fds[2];
	if (pipe(fds) != 0)
	{
		job.state = Job::State::Failed;
		job.result = std::string("cannot start a render: ") + std::strerror(errno);
		return;
	}
	std::fflush(nullptr);
	const pid_t pid = fork();
	if (pid == 0)
	{
		close(fds[0]);
		runChild(options, job, fds[1]);
	}
	close(fds[1]);
	if (pid < 0)
	{
		close(fds[0]);
		job.state = Job::State::Failed;
		job.result = std::string("cannot start a render: ") + std::strerror(errno);
		return;
	}
	job.pid = pid;
	job.fd = fds[0];
	job.state = Job::State::Running;
}

// Reads what the child reported; true when it has closed its end.
bool receive(Job& job, Display& display)
{
	char buffer[512];
	const ssize_t count = read(job.fd, buffer, sizeof buffer);
	if (count < 0)
		return errno != EINTR && errno != EAGAIN;
	if (count == 0)
		return true;
	job.received.append(buffer, static_cast<std::size_t>(count));
	std::size_t end;
	while ((end = job.received.find('\n')) != std::string::npos)
	{
		const std::string line = job.received.substr(0, end);
		job.received.erase(0, end + 1);
		if (line.size() < 2)
			continue;
		const std::string text = line.substr(2);
		if (line[0] == 'P')
		{
			job.percent = std::atoi(text.c_str());
			display.progress(job);
		}
		else if (line[0] == 'D' || line[0] == 'E')
		{
			job.state = line[0] == 'D' ? Job::State::Done : Job::State::Failed;
			job.result = text;
		}
	}
	return false;
}

void reap(Job& job)
{
	close(job.fd);
	job.fd = -1;
	int status = 0;
	while (waitpid(job.pid, &status, 0) < 0 && errno == EINTR)
	{
	}
	const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == (job.state == Job::State::Done ? 0 : 1);
	if (job.state == Job::State::Running || !clean)
	{
		job.state = Job::State::Failed;
		if (WIFSIGNALED(status))
			job.result = "the render was killed by signal " + std::to_string(WTERMSIG(status));
		else if (job.result.empty())
			job.result = "the render ended without a result";
		removeTemporaries(job);
	}
}

} // namespace

int renderBatch(const Options& options)
{
	std::vector<Job> jobs = planJobs(options);
	Display display;
	std::size_t next = 0;
	int running = 0;
	bool stopping = false;

	for (;;)
	{
		while (!stopping && running < options.jobs && next < jobs.size())
		{
			Job& job = jobs[next++];
			if (job.state == Job::State::Waiting)
				start(options, job);
			display.begin(job);
			if (job.state == Job::State::Running)
				++running;
			else
				display.finish(job);
		}
		if (running == 0)
			break;

		std::vector<pollfd> watched;
		std::vector<Job*> owners;
		for (Job& job : jobs)
		{
			if (job.fd >= 0)
			{
				watched.push_back({job.fd, POLLIN, 0});
				owners.push_back(&job);
			}
		}
		// Wakes now and then so an interruption is noticed between reports.
		if (poll(watched.data(), watched.size(), 200) < 0 && errno != EINTR)
			throw HostError(std::string("cannot wait for the renders: ") + std::strerror(errno));
		if (renderInterrupted && !stopping)
		{
			stopping = true;
			for (Job* job : owners)
				kill(job->pid, SIGTERM);
		}
		for (std::size_t i = 0; i < watched.size(); ++i)
		{
			if (!(watched[i].revents & (POLLIN | POLLHUP | POLLERR)))
				continue;
			Job& job = *owners[i];
			if (receive(job, display))
			{
				reap(job);
				--running;
				display.finish(job);
			}
		}
	}

	int failed = 0;
	for (Job& job : jobs)
	{
		if (job.state == Job::State::Waiting)
		{
			job.state = Job::State::Failed;
			job.result = "not rendered: interrupted";
			display.finish(job);
		}
		if (job.state != Job::State::Done)
			++failed;
	}
	if (display.onTerminal())
	{
		for (const Job& job : jobs)
		{
			if (job.state == Job::State::Failed)
				std::fprintf(stderr, "brontal-render: %s: %s\n", escapeControls(job.input).c_str(),
				             escapeControls(job.result).c_str());
		}
	}
	if (failed)
		std::fprintf(stderr, "brontal-render: %d of %zu files failed\n", failed, jobs.size());
	return failed ? 1 : 0;
}

} // namespace brontal::host
