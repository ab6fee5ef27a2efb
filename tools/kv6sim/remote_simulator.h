#pragma once

#include "module_memory.h"
#include "one_shot_timer.h"
#include "output_pacer.h"
#include "remote_frame_parser.h"
#include "remote_responder.h"
#include "sim_options.h"

#include <QObject>
#include <QTcpSocket>

#include <memory>
#include <span>

namespace kv6::fleet {
class ModuleLoop;
class ModuleSocket;
}  // namespace kv6::fleet

namespace kv6::sim {

// The module calling in over GPRS: connects to the tool, takes the greeting,
// identifies itself, then answers the tool's 129-byte frames.
//
//   connecting -> greeting (24 bytes) -> identified, answering frames
//   any state  -> finished(0) when the tool closes, finished(1) on failure
class RemoteSimulator : public QObject {
  Q_OBJECT
 public:
  static constexpr int kGreetingSize = 24;
  static constexpr int kSplitPauseMs = 50;
  static constexpr int kStaleFrameMs = 2000;

  // `object` is the number this module identifies itself with; `logName`
  // starts each of its lines on stderr.
  // With `loop`, the connection is a socket in that loop (epoll: thousands
  // of modules cost no scan of every socket at each turn) and `host` must be
  // an address; without, a QTcpSocket that also takes a host name.
  RemoteSimulator(ModuleMemory& memory, const SimOptions& options, QString object, QString logName,
                  fleet::ModuleLoop* loop = nullptr, QObject* parent = nullptr);
  ~RemoteSimulator() override;

  // `host` is a name or an address; many modules get the address looked up once.
  void start(const QString& host);
  // "#0000000000000SR " + object: the object number starts at character 18.
  [[nodiscard]] static QByteArray identification(const QString& object);

 signals:
  // The connection could not be made or failed; `finished` follows.
  void failed(const QString& errorText);
  void finished(int exitCode);

 private:
  void onConnected();
  void onReadyRead();
  void received(QByteArray bytes);
  void onCalled(int status);
  void onError(QAbstractSocket::SocketError error);
  void onStale();
  void process(const std::vector<QByteArray>& frames);
  void finish(int exitCode);

  const SimOptions& m_options;
  const QString m_object;
  const QString m_logName;
  QTcpSocket m_socket;                         // without a loop
  std::unique_ptr<fleet::ModuleSocket> m_loopSocket;  // with one
  RemoteFrameParser m_parser;
  RemoteResponder m_responder;
  OutputPacer m_pacer;
  OneShotTimer m_staleTimer;
  int m_greetingLeft = kGreetingSize;
  long long m_frameCount = 0;
  bool m_connected = false;
  bool m_finished = false;
};

}  // namespace kv6::sim
