#include "python/boundary.hpp"

#include <cxxabi.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

#include "python/args.hpp"

namespace quorlen::python {

ModuleState& module_state(PyObject* module) noexcept { return *static_cast<ModuleState*>(PyModule_GetState(module)); }

ModuleState& type_state(PyTypeObject* type) noexcept {
    return *static_cast<ModuleState*>(PyType_GetModuleState(type));
}

void raise_failure(const ModuleState& st, FailureKind kind, std::string_view message) {
    switch (kind) {
        case FailureKind::UnknownEcosystem: raise_with(st.unknown_ecosystem_error, message); return;
        case FailureKind::Invalid: break;
    }
    raise_with(PyExc_ValueError, message);
}

namespace {

// The readable name of an exception's type; the mangled one when it cannot
// be made readable.
std::string type_name(const std::type_info& type) {
    int status = 0;
    char* readable = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
    std::string name = status == 0 && readable ? readable : type.name();
    std::free(readable);
    return name;
}

void raise_escaped(const char* type, const char* what) noexcept {
    PyErr_Format(PyExc_SystemError, "C++ exception %s escaped: %s", type, what);
}

}  // namespace

void raise_current_exception() noexcept {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        try {
            raise_escaped(type_name(typeid(e)).c_str(), e.what());
        } catch (...) {
            raise_escaped(typeid(e).name(), e.what());
        }
    } catch (...) {
        raise_escaped("of unknown type", "no description");
    }
}

}  // namespace quorlen::python
