#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <memory>

namespace kv6::sim {

// The module's 4096-byte configuration memory. Addresses past the end read
// as 0xFF and swallow writes, as the module's unmapped space does.
//
// Copies share one image until one of them changes (thousands of simulated
// modules start alike); a module's own object number is kept beside the
// shared image until then, so that alone does not cost a copy.
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
  // The object number the memory holds: its text up to the first zero.
  [[nodiscard]] QString objectNumber() const;

  [[nodiscard]] quint16 password() const;
  void setPassword(quint16 password);

  // Factory settings, read password 0.
  void factoryReset();

  [[nodiscard]] QByteArray bytes() const;

  using Image = std::array<std::uint8_t, kSize>;
  [[nodiscard]] static Image factoryImage(quint16 password);

 private:
  // The image as the module holds it: the object number kept aside laid over the shared one.
  [[nodiscard]] std::uint8_t at(int address) const;
  // The image to change; copied first while another memory shares it.
  [[nodiscard]] Image& ownImage();

  std::shared_ptr<Image> m_image;
  std::array<std::uint8_t, kObjectNumberLength> m_objectNumber{};
  bool m_objectNumberAside = false;
  int m_forgottenWrite = -1;
};

}  // namespace kv6::sim
