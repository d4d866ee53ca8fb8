// Calls by name: checks a call that arrived on the socket against the worker's interface,
// coerces its arguments and runs the member on the worker. Runs on the worker's thread.
#pragma once

#include "worker/protocol/message.h"

#include <QString>
#include <QVariant>
#include <QVariantList>

namespace lonvera::worker {

class QXSms;

struct CallOutcome
{
    QVariant value; // the result of a get or of SendsmsA; invalid for none
    int error = 0;  // 0, or a runtime error number for the caller
    QString text;   // the error's description
};

/// Checks name, kind and argument count without touching a worker (any thread).
CallOutcome checkCall(const QString &name, protocol::CallKind kind, const QVariantList &args);

/// Runs a checked call on the worker (the worker's thread).
CallOutcome invokeMember(QXSms &worker, const QString &name, protocol::CallKind kind,
                         const QVariantList &args);

} // namespace lonvera::worker
