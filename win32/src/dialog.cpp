// Dialogs: windows of the dialog class built from templates, their dialog procedures and the
// default dialog handling, modal and modeless, and the helpers that address their controls.
#include "window.h"

#include "handles.h"
#include "machine.h"
#include "resources.h"

#include <strings.h>

#include <cstring>

namespace w95 {

namespace {

struct DialogExtension : WindowExtension {
    DLGPROC proc = nullptr;
    LONG msg_result = 0;
    LONG user = 0;
    int default_id = 0;           // DM_SETDEFID, else the template's default push button
    HWND focus_memory = nullptr;  // the control that had the focus last
    bool ended = false;
    INT_PTR result = 0;
    int unit_x = 0;  // pixels per 4 horizontal dialog units
    int unit_y = 0;  // pixels per 8 vertical dialog units
};

// Handed from the dialog manager to CreateWindowExA for the window it is about to create.
thread_local std::unique_ptr<DialogExtension> pending_extension;

DialogExtension* ExtensionOf(HWND hwnd) {
    auto window = FindWindowObject(hwnd);
    return window ? window->As<DialogExtension>() : nullptr;
}

int MulDivRound(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : -((-product + half) / denominator));
}

// The base units of a dialog font: the average character width and the height of the font at
// the machine's resolution, which the system font's base units stand for (8 x 16 at 96 dpi).
POINT FontUnits(const std::string& face, int points) {
    int base_y = HIWORD(GetDialogBaseUnits());
    int dpi = base_y * 6;
    int height = (points * dpi + 36) / 72 + 2;
    int width = (height * 6 + 6) / 13;
    (void)face;  // the proportions of the sans-serif faces dialogs use
    return {width, height};
}

// Puts the focus back where the dialog had it, or on its first tab stop.
void RestoreDialogFocus(HWND dialog) {
    auto* extension = ExtensionOf(dialog);
    HWND target = extension ? extension->focus_memory : nullptr;
    if (!target || !IsWindow(target) || !IsWindowEnabled(target) || !IsWindowVisible(target))
        target = GetNextDlgTabItem(dialog, nullptr, FALSE);
    if (target)
        SetFocus(target);
}

HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialog_template,
                              HWND parent, DLGPROC proc, LPARAM param) {
    POINT units;
    if (dialog_template.style & DS_SETFONT) {
        units = FontUnits(dialog_template.font, dialog_template.point_size);
    } else {
        LONG base = GetDialogBaseUnits();
        units = {LOWORD(base), HIWORD(base)};
    }
    auto to_x = [&](int value) { return MulDivRound(value, units.x, 4); };
    auto to_y = [&](int value) { return MulDivRound(value, units.y, 8); };

    DWORD style = dialog_template.style;
    RECT rect{to_x(dialog_template.x), to_y(dialog_template.y),
              to_x(dialog_template.x + dialog_template.cx),
              to_y(dialog_template.y + dialog_template.cy)};
    if (!(style & WS_CHILD)) {
        // Templates give the client area; the window adds its frame and caption.
        RECT client_size{0, 0, rect.right - rect.left, rect.bottom - rect.top};
        AdjustWindowRectEx(&client_size, style, dialog_template.has_menu, dialog_template.ex_style);
        LONG width = client_size.right - client_size.left;
        LONG height = client_size.bottom - client_size.top;
        POINT origin{0, 0};
        if (style & DS_CENTER) {
            origin = {(GetSystemMetrics(SM_CXSCREEN) - width) / 2 - rect.left,
                      (GetSystemMetrics(SM_CYSCREEN) - height) / 2 - rect.top};
        } else if (!(style & DS_ABSALIGN) && parent) {
            RECT owner{};
            GetWindowRect(parent, &owner);
            RECT insets{};
            if (auto window = FindWindowObject(parent))
                insets = NonClientInsets(window->style, window->ex_style, window->menu != nullptr);
            origin = {owner.left + insets.left, owner.top + insets.top};
        }
        rect = {rect.left + origin.x, rect.top + origin.y, rect.left + origin.x + width,
                rect.top + origin.y + height};
    }

    auto extension = std::make_unique<DialogExtension>();
    extension->proc = proc;
    extension->unit_x = units.x;
    extension->unit_y = units.y;
    for (const auto& item : dialog_template.items) {
        if (item.class_name == "BUTTON" && (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON &&
            !extension->default_id)
            extension->default_id = static_cast<int>(item.id);
    }
    pending_extension = std::move(extension);
    std::string class_name =
        dialog_template.class_name.empty() ? kDialogClass : dialog_template.class_name;
    HWND dialog = CreateWindowExA(dialog_template.ex_style, class_name.c_str(),
                                  dialog_template.caption.c_str(), style & ~WS_VISIBLE, rect.left,
                                  rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                                  nullptr, instance, nullptr);
    pending_extension.reset();
    if (!dialog)
        return nullptr;

    for (const auto& item : dialog_template.items) {
        const void* data = item.creation_data.empty() ? nullptr : item.creation_data.data();
        HWND control = CreateWindowExA(item.ex_style, item.class_name.c_str(), item.text.c_str(),
                                       item.style | WS_CHILD, to_x(item.x), to_y(item.y),
                                       to_x(item.cx), to_y(item.cy), dialog,
                                       reinterpret_cast<HMENU>(static_cast<uintptr_t>(item.id)),
                                       instance, const_cast<void*>(data));
        if (!control && !(style & DS_NOFAILCREATE)) {
            DWORD error = GetLastError();
            DestroyWindow(dialog);
            SetLastError(error);
            return nullptr;
        }
    }

    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    LRESULT focus_default = Send(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), param);
    if (!IsWindow(dialog))
        return nullptr;
    if (focus_default && first && IsWindow(first))
        SetFocus(first);
    if (style & WS_VISIBLE)
        ShowWindow(dialog, (style & WS_CHILD) ? SW_SHOW : SW_SHOWNORMAL);
    return dialog;
}

// The template named NAME among the program's resources, parsed.
bool LoadDialogTemplate(LPCSTR name, DialogTemplate& out) {
    const Resource* resource = FindProgramResource(RT_DIALOG, name);
    if (!resource)
        return false;
    try {
        out = ParseDialogTemplate(resource->data, resource->size);
    } catch (const ResourceFormatError&) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    return true;
}

// The size of an in-memory template is not known; its reader stops at the end of what it
// describes and never needs more than a dialog resource can hold.
constexpr size_t kIndirectTemplateLimit = 0x10000;

INT_PTR RunModal(HWND dialog, HWND owner) {
    if (!dialog)
        return -1;
    bool owner_was_enabled = owner && IsWindowEnabled(owner);
    if (owner_was_enabled)
        EnableWindow(owner, FALSE);
    if (!IsWindowVisible(dialog))
        ShowWindow(dialog, SW_SHOWNORMAL);
    INT_PTR result = 0;
    while (!DialogEnded(dialog, &result)) {
        MSG msg;
        if (!GetMessageA(&msg, nullptr, 0, 0)) {
            // A quit message ends the dialog and goes on to the caller's loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DialogEnded(dialog, &result);
    if (owner_was_enabled)
        EnableWindow(owner, TRUE);
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    if (owner && IsWindow(owner) && IsWindowVisible(owner))
        ActivateWindow(owner);
    return result;
}

}  // namespace

std::unique_ptr<WindowExtension> TakeDialogExtension() {
    if (pending_extension)
        return std::move(pending_extension);
    auto extension = std::make_unique<DialogExtension>();
    LONG base = GetDialogBaseUnits();
    extension->unit_x = LOWORD(base);
    extension->unit_y = HIWORD(base);
    return extension;
}

bool DialogEnded(HWND dialog, INT_PTR* result) {
    auto* extension = ExtensionOf(dialog);
    if (!extension)
        return true;  // destroyed
    if (extension->ended && result)
        *result = extension->result;
    return extension->ended;
}

void SetDialogFocusMemory(HWND dialog, HWND control) {
    if (auto* extension = ExtensionOf(dialog)) {
        if (control && control != dialog)
            extension->focus_memory = control;
    }
}

LONG* DialogLongField(const Window& window, int index) {
    auto* extension = window.As<DialogExtension>();
    if (!extension)
        return nullptr;
    if (index == DWL_MSGRESULT)
        return &extension->msg_result;
    if (index == DWL_USER)
        return &extension->user;
    return nullptr;
}

LRESULT CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* extension = ExtensionOf(hwnd);
    if (extension && extension->proc) {
        extension->msg_result = 0;
        INT_PTR handled = extension->proc(hwnd, message, wparam, lparam);
        if (handled) {
            switch (message) {
                case WM_INITDIALOG:
                case WM_CTLCOLORMSGBOX:
                case WM_CTLCOLOREDIT:
                case WM_CTLCOLORLISTBOX:
                case WM_CTLCOLORBTN:
                case WM_CTLCOLORDLG:
                case WM_CTLCOLORSCROLLBAR:
                case WM_CTLCOLORSTATIC:
                    return handled;
                default:
                    // The procedure's own result, if it set one, is in DWL_MSGRESULT.
                    extension = ExtensionOf(hwnd);
                    return extension ? extension->msg_result : 0;
            }
        }
        if (message == WM_INITDIALOG)
            return FALSE;
    }
    return DefDlgProcA(hwnd, message, wparam, lparam);
}

}  // namespace w95

using w95::Fail;

extern "C" LRESULT WINAPI DefDlgProcA(HWND hDlg, UINT Msg, WPARAM wParam, LPARAM lParam) {
    auto* extension = w95::ExtensionOf(hDlg);
    switch (Msg) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !IsIconic(hDlg))
                w95::RestoreDialogFocus(hDlg);
            return 0;
        case WM_SETFOCUS:
            w95::RestoreDialogFocus(hDlg);
            return 0;
        case WM_CLOSE: {
            // Closing a dialog is its Cancel, unless a Cancel button is there and disabled.
            HWND cancel = GetDlgItem(hDlg, IDCANCEL);
            if (!cancel || IsWindowEnabled(cancel)) {
                PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(cancel));
            }
            return 0;
        }
        case DM_GETDEFID:
            if (extension && extension->default_id)
                return MAKELRESULT(extension->default_id, DC_HASDEFID);
            return 0;
        case DM_SETDEFID:
            if (extension)
                extension->default_id = static_cast<int>(wParam);
            return TRUE;
        case WM_NEXTDLGCTL: {
            HWND target;
            if (LOWORD(lParam))
                target = reinterpret_cast<HWND>(wParam);
            else
                target = GetNextDlgTabItem(hDlg, GetFocus(), wParam ? TRUE : FALSE);
            if (target)
                SetFocus(target);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        default:
            return DefWindowProcA(hDlg, Msg, wParam, lParam);
    }
}

extern "C" HWND WINAPI CreateDialogParamA(HINSTANCE hInstance, LPCSTR lpTemplateName,
                                          HWND hWndParent, DLGPROC lpDialogFunc,
                                          LPARAM dwInitParam) {
    w95::DialogTemplate dialog_template;
    if (!w95::LoadDialogTemplate(lpTemplateName, dialog_template))
        return nullptr;
    return w95::CreateDialogFromTemplate(hInstance, dialog_template, hWndParent, lpDialogFunc,
                                         dwInitParam);
}

extern "C" HWND WINAPI CreateDialogIndirectParamA(HINSTANCE hInstance, LPCDLGTEMPLATEA lpTemplate,
                                                  HWND hWndParent, DLGPROC lpDialogFunc,
                                                  LPARAM dwInitParam) {
    if (!lpTemplate)
        return Fail(ERROR_INVALID_PARAMETER, HWND{nullptr});
    w95::DialogTemplate dialog_template;
    try {
        dialog_template = w95::ParseDialogTemplate(reinterpret_cast<const uint8_t*>(lpTemplate),
                                                   w95::kIndirectTemplateLimit);
    } catch (const w95::ResourceFormatError&) {
        return Fail(ERROR_INVALID_PARAMETER, HWND{nullptr});
    }
    return w95::CreateDialogFromTemplate(hInstance, dialog_template, hWndParent, lpDialogFunc,
                                         dwInitParam);
}

extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName,
                                          HWND hWndParent, DLGPROC lpDialogFunc,
                                          LPARAM dwInitParam) {
    w95::DialogTemplate dialog_template;
    if (!w95::LoadDialogTemplate(lpTemplateName, dialog_template))
        return -1;
    // A modal dialog is a pop-up owned by its owner's top-level window.
    HWND owner = hWndParent ? w95::TopLevelOf(hWndParent) : nullptr;
    dialog_template.style &= ~WS_CHILD;
    HWND dialog =
        w95::CreateDialogFromTemplate(hInstance, dialog_template, owner, lpDialogFunc, dwInitParam);
    return w95::RunModal(dialog, owner);
}

extern "C" INT_PTR WINAPI DialogBoxIndirectParamA(HINSTANCE hInstance,
                                                  LPCDLGTEMPLATEA hDialogTemplate, HWND hWndParent,
                                                  DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    if (!hDialogTemplate)
        return Fail(ERROR_INVALID_PARAMETER, INT_PTR{-1});
    w95::DialogTemplate dialog_template;
    try {
        dialog_template = w95::ParseDialogTemplate(
            reinterpret_cast<const uint8_t*>(hDialogTemplate), w95::kIndirectTemplateLimit);
    } catch (const w95::ResourceFormatError&) {
        return Fail(ERROR_INVALID_PARAMETER, INT_PTR{-1});
    }
    HWND owner = hWndParent ? w95::TopLevelOf(hWndParent) : nullptr;
    dialog_template.style &= ~WS_CHILD;
    HWND dialog =
        w95::CreateDialogFromTemplate(hInstance, dialog_template, owner, lpDialogFunc, dwInitParam);
    return w95::RunModal(dialog, owner);
}

extern "C" BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
    auto window = w95::WindowOrFail(hDlg);
    if (!window)
        return FALSE;
    auto* extension = window->As<w95::DialogExtension>();
    if (!extension)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    extension->ended = true;
    extension->result = nResult;
    w95::JournalWindow(*window, "ended", {{"result", static_cast<long long>(nResult)}});
    // Ending hides the dialog; a modal loop destroys it when it sees the end.
    ShowWindow(hDlg, SW_HIDE);
    return TRUE;
}

extern "C" HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    auto dialog = w95::WindowOrFail(hDlg);
    if (!dialog)
        return nullptr;
    for (HWND child : dialog->children) {
        auto control = w95::FindWindowObject(child);
        if (control && control->id == nIDDlgItem)
            return child;
    }
    return Fail(ERROR_INVALID_WINDOW_HANDLE, HWND{nullptr});
}

extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam,
                                              LPARAM lParam) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? w95::Send(control, Msg, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? SetWindowTextA(control, lpString) : FALSE;
}

extern "C" UINT WINAPI GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString && cchMax > 0)
        lpString[0] = '\0';
    HWND control = GetDlgItem(hDlg, nIDDlgItem);
    return control ? static_cast<UINT>(GetWindowTextA(control, lpString, cchMax)) : 0;
}

extern "C" BOOL WINAPI CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    HWND control = GetDlgItem(hDlg, nIDButton);
    if (!control)
        return FALSE;
    w95::Send(control, BM_SETCHECK, uCheck);
    return TRUE;
}

extern "C" UINT WINAPI IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    HWND control = GetDlgItem(hDlg, nIDButton);
    return control ? static_cast<UINT>(w95::Send(control, BM_GETCHECK)) : 0;
}

extern "C" LONG WINAPI GetDialogBaseUnits(void) {
    w95::MachineConfig config = w95::LoadMachineConfig();
    return MAKELONG(config.dialog_base_x, config.dialog_base_y);
}

extern "C" BOOL WINAPI MapDialogRect(HWND hDlg, LPRECT lpRect) {
    auto* extension = w95::ExtensionOf(hDlg);
    if (!extension || !lpRect)
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    lpRect->left = w95::MulDivRound(lpRect->left, extension->unit_x, 4);
    lpRect->right = w95::MulDivRound(lpRect->right, extension->unit_x, 4);
    lpRect->top = w95::MulDivRound(lpRect->top, extension->unit_y, 8);
    lpRect->bottom = w95::MulDivRound(lpRect->bottom, extension->unit_y, 8);
    return TRUE;
}
