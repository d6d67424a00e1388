#pragma once

#include <QByteArray>

namespace lyrevane::httpreasons {

// The standard reason phrase of an HTTP status ("Not Found" for 404); empty for a status
// without one here.
QByteArray phrase(int status);

}  // namespace lyrevane::httpreasons
