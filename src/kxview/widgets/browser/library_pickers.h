// The browser's library and price tools: another library of the shown library's catalogue, and a price
// file of its price folder, each chosen in its picker.
#pragma once

#include <QString>
#include <optional>

namespace kx {

class KXView;
class PriceColumns;
struct BrowserState;
struct PickerProfile;

/// SwitchLibrary and SelectPriceFile of one browser.
class LibraryPickers {
public:
    LibraryPickers(BrowserState& state, KXView& view, PriceColumns& prices)
        : m_state(state), m_view(view), m_prices(prices) {}

    /// The library tool: picks another library of the shown library's catalogue (quota and material
    /// libraries; any other kind does nothing) and loads it, with the price file set by the host moved to
    /// the new library's price folder. Cancelling changes nothing. Throws kx::DbError when a library
    /// cannot be read, kx::FileSystemError when the catalogue is missing and cannot be made.
    void SwitchLibrary();
    /// The price tool: picks a price file of the shown library's price folder and adds its price column
    /// (the price file set by the host is not changed). Throws as SwitchLibrary.
    void SelectPriceFile();

private:
    std::optional<QString> pickQuotaLibrary(const PickerProfile& kind, const QString& defaultName);
    std::optional<QString> pickMaterialLibrary(const PickerProfile& kind, const QString& defaultName);
    void rebasePriceFile();

    BrowserState& m_state;
    KXView& m_view;
    PriceColumns& m_prices;
};

}  // namespace kx
