#include "module_memory.h"

#include <QFile>
#include <QSaveFile>

#include <cstring>

namespace kv6::sim {
namespace {

using Image = ModuleMemory::Image;

// Copies the text and zero-fills the rest of the field.
void putText(Image& image, int offset, int fieldLength, const char* text) {
  std::memset(image.data() + offset, 0, static_cast<std::size_t>(fieldLength));
  const std::size_t length = std::min<std::size_t>(std::strlen(text), static_cast<std::size_t>(fieldLength));
  std::memcpy(image.data() + offset, text, length);
}

void fill(Image& image, int first, int last, std::uint8_t value) {
  std::memset(image.data() + first, value, static_cast<std::size_t>(last - first + 1));
}

}  // namespace

Image ModuleMemory::factoryImage(quint16 password) {
  Image image;
  image.fill(0xFF);
  putText(image, 0, 6, "0001");          // object number
  putText(image, 6, 4, "0001");          // receiver
  putText(image, 10, 4, "0001");         // line
  fill(image, 14, 113, 0);               // GSM numbers 1..10 empty
  putText(image, 114, 1, "7");           // country code
  putText(image, 115, 4, "5000");        // IP port
  putText(image, 119, 15, "192.168.001.010");
  putText(image, 134, 41, "internet;");  // APN
  putText(image, 175, 21, ";");          // GPRS user
  putText(image, 196, 21, ";");          // GPRS password
  image[242] = 0;
  image[243] = 0x01;                     // partition 1
  image[kPasswordOffset] = static_cast<std::uint8_t>(password >> 8);
  image[kPasswordOffset + 1] = static_cast<std::uint8_t>(password & 0xFF);
  fill(image, 246, 695, 0);              // event routing table / empty journal
  image[733] = image[734] = image[745] = image[746] = 0;
  fill(image, 750, 759, 0);              // GSM number functions
  image[760] = 4;                        // digits in user codes
  image[763] = 0x22;                     // 3 attempts on IP1 and IP2
  image[765] = 30;                       // attempt time, s
  image[766] = 0;
  putText(image, 768, 4, "5000");        // IP port 2
  putText(image, 772, 15, "000.000.000.000");
  image[989] = 0x01;
  image[1026] = 0;                       // second IP unused; PIN (1022..1025) stays 0xFF: none
  fill(image, 1028, 1047, 0);
  fill(image, 1048, 1153, 0);            // zones and outputs
  fill(image, 1156, 1194, 0);            // state, bypass bits, code partitions
  fill(image, 1243, 1306, 0);            // per-zone tables
  image[1508] = 0;                       // option bits
  fill(image, 1525, 1528, 0);            // clock
  putText(image, 1529, 15, "000.000.000.000");  // NTP server
  image[1544] = 0;
  fill(image, 1545, 1578, 0);
  image[1577] = 60;                      // siren timer
  image[1579] = 10;                      // poll time 10 min, little-endian
  image[1580] = 0;
  fill(image, 1581, 1586, 0);
  putText(image, 1588, 15, "000.000.000.000");  // programming server
  image[1603] = image[1604] = 0;
  fill(image, 1609, 1640, 0);
  image[1641] = 1;                       // anti-bounce count
  return image;
}

ModuleMemory::ModuleMemory(quint16 password) : m_image(std::make_shared<Image>(factoryImage(password))) {}

std::uint8_t ModuleMemory::at(int address) const {
  if (m_objectNumberAside && address < kObjectNumberLength) return m_objectNumber[static_cast<std::size_t>(address)];
  return (*m_image)[static_cast<std::size_t>(address)];
}

Image& ModuleMemory::ownImage() {
  if (m_image.use_count() > 1) m_image = std::make_shared<Image>(*m_image);
  if (m_objectNumberAside) {
    std::memcpy(m_image->data(), m_objectNumber.data(), m_objectNumber.size());
    m_objectNumberAside = false;
  }
  return *m_image;
}

QString ModuleMemory::loadFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
  const QByteArray data = file.read(kSize);
  if (file.error() != QFileDevice::NoError)
    return QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
  std::memcpy(ownImage().data(), data.constData(), static_cast<std::size_t>(data.size()));
  return {};
}

QString ModuleMemory::saveFile(const QString& path) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes()) != kSize || !file.commit())
    return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
  return {};
}

QByteArray ModuleMemory::read(int address, int count) const {
  QByteArray out(count, static_cast<char>(0xFF));
  for (int i = 0; i < count; ++i)
    if (address + i >= 0 && address + i < kSize) out[i] = static_cast<char>(at(address + i));
  return out;
}

void ModuleMemory::write(int address, const QByteArray& bytes) {
  if (address == m_forgottenWrite || bytes.isEmpty() || address >= kSize || address + bytes.size() <= 0) return;
  Image& image = ownImage();
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const qsizetype to = address + i;
    if (to >= 0 && to < kSize) image[static_cast<std::size_t>(to)] = static_cast<std::uint8_t>(bytes[i]);
  }
}

void ModuleMemory::setObjectNumber(const QString& object) {
  const QByteArray text = object.toLatin1().left(kObjectNumberLength);
  m_objectNumber.fill(0);
  std::memcpy(m_objectNumber.data(), text.constData(), static_cast<std::size_t>(text.size()));
  m_objectNumberAside = true;
  if (m_image.use_count() == 1) (void)ownImage();  // nothing shared: no need to keep it aside
}

QString ModuleMemory::objectNumber() const {
  QByteArray text;
  for (int i = 0; i < kObjectNumberLength && at(i) != 0; ++i) text += static_cast<char>(at(i));
  return QString::fromLatin1(text);
}

quint16 ModuleMemory::password() const {
  return static_cast<quint16>(at(kPasswordOffset) << 8 | at(kPasswordOffset + 1));
}

void ModuleMemory::setPassword(quint16 password) {
  Image& image = ownImage();
  image[kPasswordOffset] = static_cast<std::uint8_t>(password >> 8);
  image[kPasswordOffset + 1] = static_cast<std::uint8_t>(password & 0xFF);
}

void ModuleMemory::factoryReset() {
  m_image = std::make_shared<Image>(factoryImage(0));
  m_objectNumberAside = false;
}

QByteArray ModuleMemory::bytes() const {
  QByteArray out(reinterpret_cast<const char*>(m_image->data()), kSize);
  for (int i = 0; i < kObjectNumberLength; ++i) out[i] = static_cast<char>(at(i));
  return out;
}

}  // namespace kv6::sim
