// The modal error window: its design and the routine that fills and runs it.
#include "K4ErrorForm.h"
#include <algorithm>
#include <array>
#include <cstring>
#include "K4ErrorFormIds.h"
#include "K4Utils.h"

namespace {

constexpr ui::FormSpec kDesign{
    .caption = "Error",
    .client = {471, 177},
    .x = 191,
    .y = 107,
    .border = ui::Border::Single,
    .font = ui::FontSpec{"Courier New", 0, 11},
    .focus = "Button1",
};

const std::array<ui::ControlSpec, 4>& ControlTable() {
    // The memo's font is its own, not the window's, though both are Courier New.
    static constexpr std::array<ui::ControlSpec, 4> table = {
        ui::Memo("Memo1", {8, 24, 457, 113})
            .Anchors(ui::AnchorAll)
            .Font(ui::FontSpec{"Courier New", 0, 11})
            .BackColour(ui::Colour::Rgb(0, 0, 0))
            .TextColour(ui::Colour::Rgb(255, 255, 255))
            .Tab(0)
            .Flags(ui::NoTabStop)
            .Id(error_ids::Memo1),
        ui::Button("Button1", {8, 144, 241, 25}, "Ok")
            .Anchors(ui::AnchorLeft | ui::AnchorBottom)
            .Flags(ui::DefaultButton | ui::CancelButton)
            .Tab(1)
            .Id(error_ids::Button1),
        ui::Label("Label1", {8, 8, 42, 14}, "Label1").Id(error_ids::Label1),
        ui::Label("Label2", {376, 144, 42, 14}, "Label2").Anchors(ui::AnchorLeft | ui::AnchorBottom).Id(error_ids::Label2),
    };
    return table;
}

}  // namespace

TErrorForm::TErrorForm()
    : ui::Form(kDesign, ControlTable()),
      Memo1(Item(error_ids::Memo1)),
      Button1(Item(error_ids::Button1)),
      Label1(Item(error_ids::Label1)),
      Label2(Item(error_ids::Label2)) {
    Button1.OnClick = [this] { Button1Click(); };
}

void TErrorForm::Button1Click() {
    SetModalResult(ui::ModalOk);
    Close();
}

void ShowErrorWindow(const ShortString& title, const HardStack& stack) {
    TErrorForm form;
    form.Create();
    form.SetCaption(title.View());
    form.Button1.SetCaption(ErrorButtonCaption.View());
    form.Label1.SetCaption("");
    form.Label2.SetCaption(MemoryLabelText().View());
    StackToMemo(stack, form.Memo1);
    form.ShowModal();
}

std::vector<std::string> StackLines(const HardStack& stack) {
    std::vector<std::string> lines;
    const auto entryBytes = static_cast<std::size_t>(stack.ElementSize);
    for (std::int32_t n = stack.Count - 1; n >= 0; --n) {
        ShortString record;  // entries are raw bytes: copied out, not cast
        std::memcpy(&record, stack.EntryAt(n), std::min(sizeof record, entryBytes));
        lines.push_back(record.Str());
    }
    return lines;
}

void StackToMemo(const HardStack& stack, ui::Control& memo) {
    memo.Clear();
    for (const std::string& line : StackLines(stack)) memo.AddLine(line);
}

ShortString MemoryLabelText() {
    ShortString text("m:");
    text += IntegerText(AllocatedBytes);
    return text;
}
