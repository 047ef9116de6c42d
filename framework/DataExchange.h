// Moves values between a dialog's controls and its fields, in both directions. Saving checks
// each value; the first one that fails shows the framework's message, puts the focus on its
// control and stops the save (the dialog stays open).
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/Controls.h"

namespace fw {

class DataExchange {
public:
    DataExchange(HWND dialog, bool save) noexcept : m_dialog(dialog), m_save(save) {}

    bool Saving() const noexcept { return m_save; }
    HWND Item(int id) const noexcept { return GetDlgItem(m_dialog, id); }

    void Text(int id, std::u16string& value);
    // Decimal edits; a bad text fails with "Enter an integer." / "Enter a positive integer.".
    void Signed(int id, int32_t& value);
    void Unsigned(int id, uint32_t& value);
    // On save only: fails with "Enter an integer between min and max." on the control id.
    void Range(int id, uint32_t value, uint32_t min, uint32_t max);
    void Check(int id, int32_t& value);
    // The index within the radio group starting at firstId; -1 when none is set.
    void Radio(int firstId, int32_t& index);
    // A date picker and a time in seconds since 1970: the date is shown and edited in local
    // time, the time of day of the value stays as it was.
    void DateTime(int id, int64_t& seconds);
    // Binds a control member to its window (both directions).
    void Bind(int id, Control& control) noexcept;

    // Shows message, puts the focus on control id and ends the save.
    [[noreturn]] void Fail(int id, std::u16string_view message);

private:
    HWND m_dialog;
    bool m_save;
};

// Thrown by Fail and caught by the dialog that runs the exchange; never leaves the framework.
struct DataExchangeFailed {
    int controlId;
};

}  // namespace fw
