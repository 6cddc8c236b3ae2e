#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "HostSetup.h"

#include <glib.h>
#include <algorithm>
#include <cstdlib>

#include "LogMessage.h"

#if defined(__SANITIZE_ADDRESS__)
// Libraries the host embeds keep some allocations until the process ends, by design: the
// interpreter past Py_FinalizeEx, and fontconfig's caches that GTK's text rendering fills. Every
// host program and test that shows a window also links this file.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions() {
    return "leak:libpython3\nleak:libfontconfig\n";
}
#endif

namespace larkhost {
namespace {

constexpr const char* kCategory = "HOST_SETUP";

// The text of the pending Python exception (cleared), for the log and the alert.
std::string TakePythonError() {
    if (!PyErr_Occurred()) return {};
    PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
    PyErr_Fetch(&type, &value, &trace);
    std::string text = "unknown Python error";
    if (value != nullptr) {
        PyObject* str = PyObject_Str(value);
        if (str != nullptr) {
            const char* utf8 = PyUnicode_AsUTF8(str);
            if (utf8 != nullptr) text = utf8;
            Py_DECREF(str);
        }
    }
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(trace);
    PyErr_Clear();
    return text;
}

bool Truthy(PyObject* object) { return object != nullptr && PyObject_IsTrue(object) == 1; }

std::string Text(PyObject* object) {
    if (object == nullptr || !PyUnicode_Check(object)) return {};
    const char* utf8 = PyUnicode_AsUTF8(object);
    return utf8 != nullptr ? utf8 : "";
}

}  // namespace

std::vector<BottleInfo> SortedBottles(std::vector<BottleInfo> bottles) {
    std::stable_sort(bottles.begin(), bottles.end(), [](const BottleInfo& a, const BottleInfo& b) {
        if (a.isDefault != b.isDefault) return a.isDefault;
        return g_ascii_strcasecmp(a.displayName.c_str(), b.displayName.c_str()) < 0;
    });
    return bottles;
}

bool PythonSetup::Start(const std::string& sharedSupport, const std::string& porticoRoot,
                        std::string& error) {
    setenv("PYTHONPATH", (sharedSupport + "/lib/python").c_str(), 1);
    for (const char* name :
         {"PYTHONEXECUTABLE", "PYTHONHOME", "PYTHONINSPECT", "PYTHONSTARTUP", "PYTHONUSERBASE"})
        unsetenv(name);
    bool setCtype = std::getenv("LC_CTYPE") == nullptr;
    if (setCtype) setenv("LC_CTYPE", "en_US.UTF-8", 1);
    if (!Py_IsInitialized()) {
        Py_InitializeEx(0);  // the host keeps its own signal handling
        m_started = true;
    }
    if (setCtype) unsetenv("LC_CTYPE");
    PyObject* module = PyImport_ImportModule("ptutils");
    if (module == nullptr) {
        std::string why = TakePythonError();
        HY_LOG(LL_Error, kCategory, "PythonSetup::Start", "importing ptutils failed: %s",
               why.c_str());
        error = "Failed to import ptutils module into Python.  See console for errors.";
        return false;
    }
    PyObject* root = PyUnicode_FromString(porticoRoot.c_str());
    if (root == nullptr || PyObject_SetAttrString(module, "PT_ROOT", root) != 0) {
        Py_XDECREF(root);
        Py_DECREF(module);
        TakePythonError();
        error = "Failed to set PT_ROOT in the ptutils module.";
        return false;
    }
    Py_DECREF(root);
    m_module = module;
    return true;
}

PythonSetup::~PythonSetup() {
    if (m_module != nullptr) Py_DECREF(static_cast<PyObject*>(m_module));
    if (m_started) Py_FinalizeEx();
}

std::vector<BottleInfo> PythonSetup::Bottles() {
    std::vector<BottleInfo> out;
    if (m_module == nullptr) return out;
    PyObject* list = PyObject_CallMethod(static_cast<PyObject*>(m_module), "bottles", nullptr);
    if (list == nullptr) {
        HY_LOG(LL_Error, kCategory, "PythonSetup::Bottles", "listing bottles failed: %s",
               TakePythonError().c_str());
        return out;
    }
    PyObject* iterator = PyObject_GetIter(list);
    while (PyObject* item = iterator ? PyIter_Next(iterator) : nullptr) {
        BottleInfo info;
        PyObject* name = PyObject_GetAttrString(item, "name");
        PyObject* display = PyObject_GetAttrString(item, "display_name");
        PyObject* isDefault = PyObject_GetAttrString(item, "is_default");
        PyObject* canRun = PyObject_GetAttrString(item, "can_run_commands");
        PyObject* prefix = PyObject_GetAttrString(item, "wine_prefix");
        info.name = Text(name);
        info.displayName = Text(display);
        info.isDefault = Truthy(isDefault);
        info.canRunCommands = Truthy(canRun);
        info.winePrefix = Text(prefix);
        Py_XDECREF(name);
        Py_XDECREF(display);
        Py_XDECREF(isDefault);
        Py_XDECREF(canRun);
        Py_XDECREF(prefix);
        Py_DECREF(item);
        TakePythonError();
        if (!info.name.empty()) out.push_back(info);
    }
    Py_XDECREF(iterator);
    Py_DECREF(list);
    TakePythonError();
    return out;
}

std::string PythonSetup::DefaultBottle() {
    if (m_module == nullptr) return {};
    PyObject* name =
        PyObject_CallMethod(static_cast<PyObject*>(m_module), "default_bottle", nullptr);
    std::string text = Text(name);
    Py_XDECREF(name);
    TakePythonError();
    return text;
}

bool PythonSetup::QuitStep(const std::string& bottle, const std::string& step, bool force) {
    if (m_module == nullptr) return true;
    PyObject* object =
        PyObject_CallMethod(static_cast<PyObject*>(m_module), "bottle", "s", bottle.c_str());
    if (object == nullptr) {
        HY_LOG(LL_Error, kCategory, "PythonSetup::QuitStep", "bottle %s: %s", bottle.c_str(),
               TakePythonError().c_str());
        return false;
    }
    PyObject* result = PyObject_CallMethod(object, step.c_str(), "O", force ? Py_True : Py_False);
    bool agreed = Truthy(result);
    if (result == nullptr)
        HY_LOG(LL_Error, kCategory, "PythonSetup::QuitStep", "bottle %s %s: %s", bottle.c_str(),
               step.c_str(), TakePythonError().c_str());
    Py_XDECREF(result);
    Py_DECREF(object);
    return agreed;
}

void PythonSetup::ForceQuit(const std::string& bottle) {
    if (m_module == nullptr) return;
    PyObject* object =
        PyObject_CallMethod(static_cast<PyObject*>(m_module), "bottle", "s", bottle.c_str());
    PyObject* result = object ? PyObject_CallMethod(object, "force_quit", nullptr) : nullptr;
    Py_XDECREF(result);
    Py_XDECREF(object);
    TakePythonError();
}

std::vector<std::string> PythonSetup::SplitCommandLine(const std::string& command) {
    std::vector<std::string> out;
    if (m_module == nullptr) return out;
    PyObject* list = PyObject_CallMethod(static_cast<PyObject*>(m_module), "split_command_line",
                                         "s", command.c_str());
    if (list != nullptr && PyList_Check(list))
        for (Py_ssize_t i = 0; i < PyList_Size(list); ++i)
            out.push_back(Text(PyList_GetItem(list, i)));
    Py_XDECREF(list);
    TakePythonError();
    return out;
}

}  // namespace larkhost
