#pragma once

#include <QIcon>

namespace kim {
// A tower sending waves, drawn rather than shipped as a picture file.
QIcon programIcon();
} // namespace kim
