#pragma once
// Setting up an instance for a component: what the process needs before the instance starts
// (warning states, PATH entries, the Java VM configuration), the instance's search path and
// class path built from the component's entries, and what the new instance is told afterwards
// (component data, class path, the user's start-up script, instance user data).
//
// Everything here runs under the library-wide mutex held by instance creation. Warning states
// and PATH belong to the whole process and stay changed after the instance is gone. Errors are
// rtkUserException "RTK:KVNInstanceProxy" unless a function says otherwise.

#include <string>
#include <vector>

#include "fs/path_string.hpp"

class RtkKvnInstance;
class rtkExtractedComponent;

// The error id of every message of component set-up.
inline constexpr char kComponentSetupErrorId[] = "RTK:KVNInstanceProxy";
// The warning that, when on, reports path entries that are files but not Java archives.
inline constexpr char kInvalidPathWarning[] = "rtkkvn:rtkConstructKvnPath:invalidpath";
// Run in every component instance: a script or compiled file named startup runs when there is one.
inline constexpr wchar_t kComponentStartupScript[] =
    L"if (exist('startup','file') == 2) ||...\n   (exist('startup','file') == 6)\n  startup\nend\n";

// Applies "on:<identifier>" / "off:<identifier>" strings in order to the process's warning
// context; white space after the colon is skipped, later colons belong to the identifier. A
// string without a colon raises RTKKVN_MALFORMED_WARNING_STATUS_STRING, a state word that begins
// with neither "on" nor "off" RTKKVN_INVALID_WARNING_STATE; the strings before it stay applied.
void applyWarningStates(const std::vector<std::string>& states);

// Appends extractionFolder/entry to PATH for each non-empty entry whose folder is not on PATH
// yet, so that a second instance of a component adds nothing. False when PATH cannot be set.
bool addPathEntries(const dsPathString& extractionFolder, const std::vector<std::string>& entries);

// Builds out from path entries: path macros expanded, relative entries joined to
// extractionFolder, a trailing "/." dropped; existing folders kept, and with allowJars existing
// ".jar" files. Entries that do not exist are dropped silently; other files are dropped with a
// warning (RTKKVN_BAD_FILE_FOR_PATH on standard error) when kInvalidPathWarning is on. Always
// true.
bool rtkConstructKvnPath(const dsPathString& extractionFolder,
                         const std::vector<std::wstring>& entries, std::vector<std::wstring>& out,
                         bool allowJars);

// Installs the Java VM configuration deployed with the runtime when Java is on and none is
// installed yet. The Java bridge, which finds a deployed Java VM, is not part of the runtime
// yet: until it is, a process has no deployed Java VM to install and this changes nothing.
void prepareJavaVMConfiguration();

// Prepares a registered instance for its component: warning states again (direct instances
// only: they share the process's warning context), rtksetcomponentdata, the class path and the
// start-up step, then the user data "UseComponentCache" and "AppComponentUUID". Errors of the
// engine calls pass to the caller.
void prepareComponentInstance(RtkKvnInstance& instance, const rtkExtractedComponent& component);

// The start-up step alone: with Java on, classPath goes to the end of the dynamic Java class
// path with the "already specified" warning switched off meanwhile (its state is restored);
// then kComponentStartupScript runs (its own failure is the user's start-up file's and is not
// an error of the set-up).
void runComponentStartup(RtkKvnInstance& instance, const std::vector<std::wstring>& classPath);
