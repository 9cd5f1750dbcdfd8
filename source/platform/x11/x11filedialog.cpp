// The file chooser on Linux: a desktop's own dialog program (zenity, else
// kdialog) run as a child, its answer read from a pipe without waiting.
#include "widgets/platform.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace brontal::gui {

namespace {

constexpr const char* kNoDialog = "No file dialog found (zenity or kdialog): drop a WAV file on the panel instead";

bool onPath(const std::string& sProgram)
{
	const char* szPath = std::getenv("PATH");
	std::string sDirs = szPath ? szPath : "";
	for (std::size_t uStart = 0; uStart <= sDirs.size();)
	{
		std::size_t uEnd = sDirs.find(':', uStart);
		if (uEnd == std::string::npos)
			uEnd = sDirs.size();
		const std::string sDir = uEnd > uStart ? sDirs.substr(uStart, uEnd - uStart) : ".";
		if (access((sDir + "/" + sProgram).c_str(), X_OK) == 0)
			return true;
		uStart = uEnd + 1;
	}
	return false;
}

class FailedDialog final : public IPlatformFileDialog
{
public:
	explicit FailedDialog(std::string sWhy) : m_sWhy(std::move(sWhy)) {}
	Answer poll(std::string& sAnswer) override
	{
		sAnswer = m_sWhy;
		return Answer::Failed;
	}

private:
	std::string m_sWhy;
};

class ChildDialog final : public IPlatformFileDialog
{
public:
	ChildDialog(pid_t pid, int iPipe, std::string sProgram) : m_pid(pid), m_iPipe(iPipe), m_sProgram(std::move(sProgram))
	{
	}
	~ChildDialog() override
	{
		// The editor closed first: the dialog goes with it.
		if (m_pid > 0)
		{
			kill(m_pid, SIGTERM);
			waitpid(m_pid, nullptr, 0);
		}
		close(m_iPipe);
	}

	Answer poll(std::string& sAnswer) override
	{
		if (m_pid <= 0)
			return Answer::Cancelled;
		char acBuffer[4096];
		ssize_t iRead;
		while ((iRead = read(m_iPipe, acBuffer, sizeof acBuffer)) > 0)
			m_sOutput.append(acBuffer, std::size_t(iRead));
		int iStatus = 0;
		if (iRead < 0 && errno == EAGAIN)
			return Answer::Waiting;
		if (waitpid(m_pid, &iStatus, WNOHANG) == 0)
			return Answer::Waiting;
		m_pid = 0;
		while (!m_sOutput.empty() && (m_sOutput.back() == '\n' || m_sOutput.back() == '\r'))
			m_sOutput.pop_back();
		if (WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 0 && !m_sOutput.empty())
		{
			sAnswer = m_sOutput;
			return Answer::Chosen;
		}
		// Both programs leave with 1 when the player cancels.
		if (WIFEXITED(iStatus) && WEXITSTATUS(iStatus) == 1)
			return Answer::Cancelled;
		sAnswer = "The file dialog (" + m_sProgram + ") failed: drop a WAV file on the panel instead";
		return Answer::Failed;
	}

private:
	pid_t m_pid;
	int m_iPipe;
	std::string m_sProgram;
	std::string m_sOutput;
};

} // namespace

std::unique_ptr<IPlatformFileDialog> openFileDialog(IPlatformWindow* /*pOwner*/, const char* szTitle,
                                                    const char* szFilterName, const char* szExtension)
{
	const std::string sLower = szExtension, sUpper = [&] {
		std::string s = szExtension;
		for (char& c : s)
			c = char(c >= 'a' && c <= 'z' ? c - 32 : c);
		return s;
	}();
	const std::string sPatterns = "*." + sLower + " *." + sUpper;
	std::vector<std::string> aArguments;
	if (onPath("zenity"))
		aArguments = {"zenity", "--file-selection", std::string("--title=") + szTitle,
		              std::string("--file-filter=") + szFilterName + " | " + sPatterns};
	else if (onPath("kdialog"))
		aArguments = {"kdialog", "--title", szTitle, "--getopenfilename", ".", sPatterns + "|" + szFilterName};
	else
		return std::make_unique<FailedDialog>(kNoDialog);

	int aiPipe[2];
	if (pipe2(aiPipe, O_CLOEXEC) != 0)
		return std::make_unique<FailedDialog>(kNoDialog);
	fcntl(aiPipe[0], F_SETFL, O_NONBLOCK);
	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_adddup2(&actions, aiPipe[1], STDOUT_FILENO);
	posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
	std::vector<char*> aArgv;
	for (std::string& sArgument : aArguments)
		aArgv.push_back(sArgument.data());
	aArgv.push_back(nullptr);
	pid_t pid = 0;
	const int iError = posix_spawnp(&pid, aArgv[0], &actions, nullptr, aArgv.data(), environ);
	posix_spawn_file_actions_destroy(&actions);
	close(aiPipe[1]);
	if (iError != 0)
	{
		close(aiPipe[0]);
		return std::make_unique<FailedDialog>(kNoDialog);
	}
	return std::make_unique<ChildDialog>(pid, aiPipe[0], aArguments[0]);
}

} // namespace brontal::gui
