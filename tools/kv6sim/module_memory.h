#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>

namespace kv6::sim {

// The module's 4096-byte configuration memory. Addresses past the end read
// as 0xFF and swallow writes, as the module's unmapped space does.
class ModuleMemory {
 public:
  static constexpr int kSize = 4096;
  static constexpr int kPasswordOffset = 244;  // high byte first
  static constexpr int kObjectNumberLength = 6;  // at address 0, zero-filled behind

  explicit ModuleMemory(quint16 password = 0);

  // Replaces the first bytes with the file's; the rest keeps the factory image.
  // Returns an empty text on success, otherwise what went wrong.
  [[nodiscard]] QString loadFile(const QString& path);
  // Writes all 4096 bytes; an empty text on success.
  [[nodiscard]] QString saveFile(const QString& path) const;

  [[nodiscard]] QByteArray read(int address, int count) const;
  void write(int address, const QByteArray& bytes);
  // Fault: a write starting at `address` is acknowledged but not stored (-1: none).
  void setForgottenWrite(int address) { m_forgottenWrite = address; }

  // Stores the module's own object number as the module keeps it; not subject
  // to the forgotten-write fault, which models lost writes from the tool.
  void setObjectNumber(const QString& object);

  [[nodiscard]] quint16 password() const;
  void setPassword(quint16 password);

  // Factory settings, read password 0.
  void factoryReset();

  [[nodiscard]] QByteArray bytes() const;

  [[nodiscard]] static std::array<std::uint8_t, kSize> factoryImage(quint16 password);

 private:
  std::array<std::uint8_t, kSize> m_bytes{};
  int m_forgottenWrite = -1;
};

}  // namespace kv6::sim
