// The JSON records of deve-cli, parsed with an independent JSON reader (Qt's)
// and checked against the record schema: the envelope of every record and
// the fields of every record type.
#pragma once

#include <QJsonObject>

#include <string>
#include <vector>

namespace clitest {

// Every line of `out` as a record; each line that is not a valid record of
// the schema is reported as a test failure.
std::vector<QJsonObject> records(const std::string &out);

// The records of one type, in order.
std::vector<QJsonObject> of_type(const std::vector<QJsonObject> &all, const char *type);
// The only record of a type (a failure when there is not exactly one).
QJsonObject one(const std::vector<QJsonObject> &all, const char *type);

std::string text(const QJsonObject &o, const char *key);
double number(const QJsonObject &o, const char *key);

}  // namespace clitest
