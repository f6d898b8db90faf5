// The four entry points a host finds in the library: install and remove the Designer plugin
// link, hand out the factory that creates Vantler controls, and say whether the library is idle.
#pragma once

#include "vantler_global.h"

#include <cstdint>

class QWidget;

namespace vantler {

class Vantler;

// Result codes of the entry points, with the numeric values hosts compare them against.
constexpr std::int32_t S_OK_ = 0;
constexpr std::int32_t S_FALSE_ = 1;
constexpr std::int32_t E_POINTER_ = std::int32_t(0x80004003u);
constexpr std::int32_t CLASS_E_CLASSNOTAVAILABLE_ = std::int32_t(0x80040111u);
constexpr std::int32_t SELFREG_E_CLASS_ = std::int32_t(0x80040201u);

// The class names DllGetClassObject answers to.
inline constexpr const char* kVantlerProgId = "VantlerOCX.Vantler";
inline constexpr const char* kVantlerClassName = "Vantler";

class VANTLER_EXPORT VantlerClassFactory {
public:
    virtual ~VantlerClassFactory() = default;
    // A new control, initialised as a freshly placed one, owned by `parent` when given.
    virtual Vantler* CreateInstance(QWidget* parent) = 0;
    // While locked, DllCanUnloadNow says no even when no control exists.
    virtual void LockServer(bool lock) = 0;
};

// Where DllRegisterServer puts its link: Qt Designer's plugin folder in the user's home.
VANTLER_EXPORT QString designerPluginLinkPath();

}  // namespace vantler

extern "C" {
// Links the Designer plugin (beside this library) into the user's Designer plugin folder.
VANTLER_EXPORT std::int32_t DllRegisterServer();
// Removes that link when it is ours; nothing else is deleted.
VANTLER_EXPORT std::int32_t DllUnregisterServer();
// Hands out the factory (a VantlerClassFactory*) for "VantlerOCX.Vantler" or "Vantler".
VANTLER_EXPORT std::int32_t DllGetClassObject(const char* classId, void** factory);
// S_OK when no control is alive and the server is not locked, S_FALSE otherwise.
VANTLER_EXPORT std::int32_t DllCanUnloadNow();
}
