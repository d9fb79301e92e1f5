#include "script/ShellLink.h"

#include "base/Files.h"
#include "base/Handle.h"
#include "script/Placeholders.h"

#include <shlobj.h>

namespace tarvo {

namespace {

HRESULT CreateLinkObject(ComRef<IShellLinkW>& link) {
    return ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.Receive()));
}

HRESULT QueryFile(const ComRef<IShellLinkW>& link, ComRef<IPersistFile>& file) {
    return link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()));
}

}  // namespace

HRESULT CreateShortcut(const WString& shortcutPath, const ShortcutOptions& options) {
    WString path(shortcutPath);
    WString target(options.target);
    WString arguments(options.arguments);
    WString workingFolder(options.workingFolder);
    WString iconFile(options.iconFile);
    ExpandPlaceholders(path);
    ExpandPlaceholders(target);
    ExpandPlaceholders(arguments);
    ExpandPlaceholders(workingFolder);
    ExpandPlaceholders(iconFile);

    // A bare file name has no folder to create (the path text of one is the name itself).
    if (path.Find(L'\\') != 0) CreateFolderTree(PathFolder(path));

    ComRef<IShellLinkW> link;
    HRESULT result = CreateLinkObject(link);
    if (FAILED(result)) return result;

    // The setters' results are not used: a field the link object refuses leaves it at its default,
    // and saving the shortcut is what counts.
    link->SetPath(target.c_str());
    if (options.options & kShortcutArguments) link->SetArguments(arguments.c_str());
    if (options.options & kShortcutDescription) link->SetDescription(options.description.c_str());
    if (options.options & kShortcutIcon) link->SetIconLocation(iconFile.c_str(), options.iconIndex);
    if (options.options & kShortcutWorkingFolder) link->SetWorkingDirectory(workingFolder.c_str());
    if (options.options & kShortcutShowCommand) link->SetShowCmd(options.showCommand);
    if (options.options & kShortcutHotKey) link->SetHotkey(options.hotKey);

    ComRef<IPersistFile> file;
    result = QueryFile(link, file);
    if (SUCCEEDED(result)) result = file->Save(path.c_str(), TRUE);
    return result;
}

bool ShortcutTarget(const WString& shortcutPath, WString& target) {
    target.Clear();
    WString path(shortcutPath);
    ExpandPlaceholders(path);
    if (!PathExists(path)) return false;

    ComRef<IShellLinkW> link;
    if (FAILED(CreateLinkObject(link))) return false;
    ComRef<IPersistFile> file;
    if (FAILED(QueryFile(link, file))) return false;

    wchar_t buffer[MAX_PATH] = {0};
    if (SUCCEEDED(file->Load(path.c_str(), STGM_READ))) {
        if (FAILED(link->GetPath(buffer, MAX_PATH, nullptr, 0))) buffer[0] = 0;
    }
    buffer[MAX_PATH - 1] = 0;
    target = buffer;
    return true;
}

}  // namespace tarvo
