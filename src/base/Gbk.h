#pragma once

#include <QByteArray>
#include <QString>

// The GBK code page (936), through iconv: the settings file and the edits'
// byte limits use it, so that a settings file reads the same on every system
// that keeps Chinese private-profile files in that code page. Characters
// that GBK lacks are written as their GB18030 bytes, so no text is ever lost
// or replaced on the way to disk, and no character is ever split.
namespace gbk {

QByteArray encode(const QString& text);
// Bytes that are not valid GBK/GB18030 become U+FFFD; never fails.
QString decode(const QByteArray& bytes);
// Number of bytes the text takes in GBK (GB18030 for the characters GBK lacks).
int byteLength(const QString& text);
// The longest prefix of the text whose GBK length is at most maxBytes, never
// splitting a character (nor a surrogate pair).
QString truncateToBytes(const QString& text, int maxBytes);

} // namespace gbk
