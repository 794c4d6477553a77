#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Text work on one event's VCALENDAR for the sync: which of the properties
// this program edits differ between two texts, and carrying just those over
// into the server's text so that what the program cannot hold stays there.
namespace calendar {

// The groups compared, as named in ChangedProperties' answer.
inline constexpr char kAcknowledgedGroup[] = "VALARM:ACKNOWLEDGED";

// The groups (SUMMARY, DESCRIPTION, DTSTART, RRULE, RDATE, EXDATE, X-TOLVA-,
// STATUS, VALARM:TRIGGER, VALARM:ACKNOWLEDGED) whose values differ.
QStringList ChangedProperties(const QByteArray& before, const QByteArray& after);
// target with the groups that differ between before and after set as in
// after (a zone DTSTART names comes along); target's bytes when none differ.
QByteArray PatchEvent(const QByteArray& target, const QByteArray& before, const QByteArray& after);

QString EventUid(const QByteArray& data);
QString ProductId(const QByteArray& data);
// SUMMARY, DESCRIPTION and DTSTART: what links two copies of one reminder.
QString LinkKey(const QByteArray& data);
// The first reminding alarm's ACKNOWLEDGED (UTC); invalid when none.
QDateTime Acknowledged(const QByteArray& data);
QByteArray WithAcknowledged(const QByteArray& data, const QDateTime& at);
// The event under another UID, its SUMMARY followed by suffix.
QByteArray Renamed(const QByteArray& data, const QString& uid, const QString& summarySuffix);

} // namespace calendar
