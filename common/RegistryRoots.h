// The predefined registry roots, the handles every key path starts from. The platform's
// hive store, the registry class and the setup program all name the roots by these.
#pragma once

#include <cstdint>

namespace vd {

inline constexpr std::int32_t HKEY_CLASSES_ROOT = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t HKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001u);
inline constexpr std::int32_t HKEY_LOCAL_MACHINE = static_cast<std::int32_t>(0x80000002u);
inline constexpr std::int32_t HKEY_USERS = static_cast<std::int32_t>(0x80000003u);

}  // namespace vd
