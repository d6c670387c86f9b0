#pragma once
// Installing and removing the one Carbon event handler a control object
// keeps on its control, and the key filter an edit field carries.
#include "platform/toolbox_controls.h"
#include "platform/toolbox_events.h"

// Installs proc for the types on the control; on failure nothing is kept.
inline bool InstallControlHandler(ControlRef control, EventHandlerProcPtr proc, const EventTypeSpec* types,
                                  UInt32 count, void* data, EventHandlerUPP* upp, EventHandlerRef* ref)
{
    *upp = NewEventHandlerUPP(proc);
    if (InstallEventHandler(GetControlEventTarget(control), *upp, count, types, data, ref) == noErr) return true;
    DisposeEventHandlerUPP(*upp);
    *upp = nullptr;
    *ref = nullptr;
    return false;
}

// Puts own on the control, keeping the filter it had the first time.
inline void InstallKeyFilter(ControlRef control, ControlKeyFilterUPP own, ControlKeyFilterUPP* previous, bool* saved)
{
    if (!*saved) {
        *previous = nullptr;
        GetControlData(control, 0, kControlKeyFilterTag, sizeof *previous, previous, nullptr);
        *saved = true;
    }
    SetControlData(control, 0, kControlKeyFilterTag, sizeof own, &own);
}

// Gives the control back the filter kept by InstallKeyFilter.
inline void RestoreKeyFilter(ControlRef control, ControlKeyFilterUPP previous, bool saved)
{
    if (saved && IsValidControlHandle(control))
        SetControlData(control, 0, kControlKeyFilterTag, sizeof previous, &previous);
}
