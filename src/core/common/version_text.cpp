#include "core/common/version_text.h"

#include "core/common/version.h"

namespace tovira {

QString CurrentVersionText() { return QStringLiteral(TOVIRA_VERSION); }

}  // namespace tovira
