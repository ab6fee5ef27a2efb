#pragma once

#include "module_memory.h"
#include "output_pacer.h"
#include "remote_frame_parser.h"
#include "remote_responder.h"
#include "sim_options.h"

#include <QObject>
#include <QTcpSocket>
#include <QTimer>

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

  RemoteSimulator(ModuleMemory& memory, const SimOptions& options, QObject* parent = nullptr);

  void start();
  // "#0000000000000SR " + object: the object number starts at character 18.
  [[nodiscard]] static QByteArray identification(const QString& object);

 signals:
  void finished(int exitCode);

 private:
  void onConnected();
  void onReadyRead();
  void onError(QAbstractSocket::SocketError error);
  void onStale();
  void process(const std::vector<QByteArray>& frames);
  void finish(int exitCode);

  const SimOptions& m_options;
  QTcpSocket m_socket;
  RemoteFrameParser m_parser;
  RemoteResponder m_responder;
  OutputPacer m_pacer;
  QTimer m_staleTimer;
  int m_greetingLeft = kGreetingSize;
  long long m_frameCount = 0;
  bool m_connected = false;
  bool m_finished = false;
};

}  // namespace kv6::sim
