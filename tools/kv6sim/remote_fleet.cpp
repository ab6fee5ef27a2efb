#include "remote_fleet.h"

#include "fleet/module_loop.h"
#include "remote_simulator.h"

#include <QDir>
#include <QHostAddress>
#include <QHostInfo>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace kv6::sim {

RemoteFleet::RemoteFleet(const ModuleMemory& firstMemory, const SimOptions& options, QObject* parent)
    : QObject(parent), m_options(options), m_host(options.connectHost) {
  m_modules.reserve(static_cast<std::size_t>(options.modules));
  for (int i = 0; i < options.modules; ++i) {
    Module module{firstMemory, objectNumber(options.object, i), {}, nullptr, {}};
    if (options.modules > 1) module.memory.setObjectNumber(module.object);
    // Costs the module a copy of the image; distinct passwords show a server that mixes modules up.
    if (options.passwordIsObject) module.memory.setPassword(static_cast<quint16>(module.object.toInt()));
    module.heldAtStart = module.memory.objectNumber();
    m_modules.push_back(std::move(module));
  }
  if (options.modules > 1) m_loop = std::make_unique<fleet::ModuleLoop>();
  m_errorTimer.setSingleShot(true);
  m_errorTimer.setInterval(kErrorGatherMs);
  connect(&m_errorTimer, &QTimer::timeout, this, &RemoteFleet::sayErrors);
}

RemoteFleet::~RemoteFleet() {
  sayErrors();
  // The calls (those ended and waiting for deleteLater too) go before the
  // loop their sockets live in.
  qDeleteAll(findChildren<RemoteSimulator*>(Qt::FindDirectChildrenOnly));
}

QString RemoteFleet::objectNumber(const QString& first, int index) {
  if (index == 0) return first;  // one module keeps --object as given, letters included
  return QStringLiteral("%1").arg(first.toInt() + index, 4, 10, QLatin1Char('0'));
}

QString RemoteFleet::resolveHost() {
  // One module connects by name as before; many must not start a lookup each.
  if (m_modules.size() == 1 || !QHostAddress(m_host).isNull()) return {};
  const QHostInfo info = QHostInfo::fromName(m_host);
  if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
    return QStringLiteral("cannot look up %1: %2").arg(m_host, info.errorString());
  // A name with both families connects one module address by address; many
  // modules take one, IPv4 first, as servers commonly listen there.
  const QList<QHostAddress> addresses = info.addresses();
  const auto ipv4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress& address) {
    return address.protocol() == QAbstractSocket::IPv4Protocol;
  });
  m_host = (ipv4 != addresses.end() ? *ipv4 : addresses.first()).toString();
  return {};
}

void RemoteFleet::start() {
  for (std::size_t i = 0; i < m_modules.size(); ++i) call(i);
}

QString RemoteFleet::logName(std::size_t index) const {
  if (m_modules.size() == 1) return QStringLiteral("kv6sim");
  return QStringLiteral("kv6sim %1").arg(m_modules[index].object);
}

void RemoteFleet::call(std::size_t index) {
  Module& module = m_modules[index];
  // A module calls in with the number its memory holds: once a write gave
  // it another, it calls with that one.
  const QString held = module.memory.objectNumber();
  const QString calling = held != module.heldAtStart && !held.isEmpty() ? held : module.object;
  module.link = new RemoteSimulator(module.memory, m_options, calling, logName(index), m_loop.get(), this);
  connect(module.link, &RemoteSimulator::failed, this,
          [this, index](const QString& errorText) { onFailed(index, errorText); });
  connect(module.link, &RemoteSimulator::finished, this, [this, index](int exitCode) { onEnded(index, exitCode); });
  module.link->start(m_host);
}

void RemoteFleet::onFailed(std::size_t index, const QString& errorText) {
  Module& module = m_modules[index];
  if (errorText == module.lastError) return;  // a module retrying against a closed port says so once
  module.lastError = errorText;
  if (m_modules.size() == 1) {
    std::fprintf(stderr, "kv6sim: %s\n", qPrintable(errorText));
    return;
  }
  // A refused port fails thousands of modules at once: one line, not thousands.
  ErrorTally& tally = m_errors[errorText];
  if (tally.count++ == 0) tally.lowest = tally.highest = module.object;
  tally.lowest = std::min(tally.lowest, module.object);
  tally.highest = std::max(tally.highest, module.object);
  if (!m_errorTimer.isActive()) m_errorTimer.start();
}

void RemoteFleet::sayErrors() {
  m_errorTimer.stop();
  for (const auto& [text, tally] : m_errors) {
    if (tally.count == 1)
      std::fprintf(stderr, "kv6sim %s: %s\n", qPrintable(tally.lowest), qPrintable(text));
    else
      std::fprintf(stderr, "kv6sim: %d modules (%s to %s): %s\n", tally.count, qPrintable(tally.lowest),
                   qPrintable(tally.highest), qPrintable(text));
  }
  m_errors.clear();
}

void RemoteFleet::onEnded(std::size_t index, int exitCode) {
  Module& module = m_modules[index];
  module.link->deleteLater();  // we are inside its signal
  module.link = nullptr;
  if (exitCode == 0) module.lastError.clear();
  if (m_options.reconnect) {
    const int pauseMs = m_options.reconnectAfterS * 1000;
    const int jitterMs = static_cast<int>(m_jitter.bounded(pauseMs / 4 + 1));
    QTimer::singleShot(pauseMs + jitterMs, this, [this, index] { call(index); });
    return;
  }
  m_exitCode = std::max(m_exitCode, exitCode);
  if (++m_down < size()) return;
  sayErrors();
  emit finished(m_exitCode);
}

QStringList RemoteFleet::saveAll(const QString& dir) const {
  QStringList errors;
  if (!QDir().mkpath(dir)) return {QStringLiteral("cannot create the folder %1").arg(dir)};
  for (const Module& module : m_modules) {
    const QString error = module.memory.saveFile(QDir(dir).filePath(module.object + QStringLiteral(".prg")));
    if (!error.isEmpty()) errors << error;
  }
  return errors;
}

}  // namespace kv6::sim
