// The generations of the database file format.
#pragma once

#include <cstdint>
#include <string_view>

namespace jet {

/// The on-disk generation of a database: Jet 3 (Access 97), Jet 4 (Access 2000-2003), ACE (2007, 2010+).
enum class Version : uint8_t { Jet3, Jet4, Ace12, Ace14 };

/// The display name of a version ("Jet 3", "Jet 4", "ACE 12", "ACE 14").
std::string_view versionName(Version v);

}  // namespace jet
