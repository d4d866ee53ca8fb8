// The smspdu commands as functions of their arguments, so tests run them without a process.
// Pure apart from the streams given; any thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

namespace lonvera::smspdu {

/// Runs "decode HEX..." or "encode --to N [...] TEXT"; output lines go to out, one-line
/// errors to err. Returns the exit status: 0 done, 1 bad PDU or refused text, 2 bad usage.
int run(const QStringList &arguments, QTextStream &out, QTextStream &err, const QString &now);

} // namespace lonvera::smspdu
