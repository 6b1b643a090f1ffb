#pragma once
// The program's version as the title, the about box and the update check
// show it.

#include <QString>

namespace tovira {

// The running version, Major.Minor.Revision without leading zeros ("1.7.3").
QString CurrentVersionText();

}  // namespace tovira
