#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace lyrevane {

// One host as a network stack reads it: percent escapes decoded, Unicode dots and
// full-width forms mapped as IDNA does, letters folded, trailing dots dropped, and numeric
// IPv4 in any form that resolvers accept (decimal 3221226001, hex 0xc0.0.2.17, octal
// 0300.0.2.17, short 192.0.529) written as four decimal parts. A bracketed IPv6 address
// becomes its canonical text, or the IPv4 address it carries (mapped ::ffff:a.b.c.d,
// compatible ::a.b.c.d, NAT64 64:ff9b::a.b.c.d). Empty when `host` is empty or an
// unreadable IPv6 literal. Applying it again changes nothing.
QString normaliseHost(QStringView host);

// Every host that `url` may be read to name, normalised: the authority as the WHATWG URL
// parser finds it and as a parser that only stops at "/" finds it, each with its escapes
// decoded up to three times. A text without a scheme is read as starting with its host.
QStringList hostsOf(const QString& url);

// True when the normalised `host` is `refused` or a name inside it ("a.b.example" is
// inside "b.example"; "xb.example" is not).
bool hostIsWithin(const QString& host, const QString& refused);

}  // namespace lyrevane
