// One running program per program file: a second start hands its command line to the running
// one over a local socket named from the program's path and ends when the running one answers
// "handled"; a start without arguments, or one that gets no answer in time, runs on its own.
//
// The message: four bytes with the length of the text in bytes (little endian), then the whole
// command line as UTF-16LE text, each part in double quotation marks. The answer: four bytes,
// kHandOverHandled or kHandOverNotHandled (little endian).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace ui {

constexpr quint32 kHandOverHandled = 0xDA860081u;
constexpr quint32 kHandOverNotHandled = 0xDA860080u;

// The socket name shared by every start of this program file (and this user).
QString InstanceName();

// The sender side: hands the arguments (made absolute) to a running instance. True when it
// answered "handled" within the time limit; the caller then ends. Never true without arguments.
// The arguments are bytes as the command line gave them; bytes that are not valid UTF-8 travel
// as unpaired surrogates U+DC80 to U+DCFF (base::Utf16FromBytes), so that every file name
// arrives as it is.
bool HandOverToRunningInstance(const std::vector<std::string>& arguments, int timeoutMs = 3000);

// The receiver side: answers every hand-over. Without a handler it answers "not handled"; with
// one it passes the received paths (the quoted items after the program path) and answers
// "handled" at once.
class InstanceReceiver : public QObject {
public:
  explicit InstanceReceiver(QObject* parent = nullptr);
  ~InstanceReceiver() override;
  // Whether this instance owns the name (another running instance may own it).
  bool Listening() const;
  void SetHandler(std::function<void(std::vector<std::string>)> handler) { handler_ = std::move(handler); }

private:
  void Read(QLocalSocket* socket);
  QLocalServer* server_;
  std::function<void(std::vector<std::string>)> handler_;
};

}  // namespace ui
