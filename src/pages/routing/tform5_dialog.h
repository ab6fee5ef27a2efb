#pragma once

#include <QDialog>
#include <functional>

#include "pages/routing/routing_values.h"
#include "pages/routing/zone_type_list.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace kv6::widgets {
class SpinEdit;
}

namespace kv6::pages {

// The routing dialog, one instance shared by the event table (event mode)
// and the zone grid (zone mode). It only shows and collects values; the
// models decide what they mean in the image.
class TForm5 : public QDialog {
    Q_OBJECT

public:
    explicit TForm5(QWidget* parent = nullptr);

    // Fills the type list and the hidden code list from paramp; the preset
    // names (no type numbers) leave both empty.
    void setZoneTypes(const ZoneTypeList& types);

    // Event mode for table row `row` showing `caption`.
    void loadEvent(const QString& caption, const EventRouting& routing);
    [[nodiscard]] EventRouting eventRouting() const;
    // Zone mode for zone 1..32.
    void loadZone(int zone, const ZoneRouting& routing);
    [[nodiscard]] ZoneRouting zoneRouting() const;

    // Shows the dialog modally; true on OK. Tests put a scripted run in its place.
    bool run();
    void setRunner(std::function<bool(TForm5&)> runner) { m_runner = std::move(runner); }

    QGroupBox* GroupBox1;       // frame "Код Contact ID"
    QLineEdit* Edit1;           // Contact ID code of the event
    QGroupBox* GroupBox2;       // frame "Тип информации"
    QComboBox* ComboBox9;       // information type
    QGroupBox* GroupBox3;       // "Тип События "
    QComboBox* ComboBox1;       // TCLIP GSM number
    QComboBox* ComboBox2;       // TCLIP key
    QComboBox* ComboBox3;       // SMS GSM number
    QComboBox* ComboBox7;       // SMS message 1..20
    QCheckBox* CheckBox5;       // "Передавать Восст.": restore by SMS (zone mode)
    QCheckBox* CheckBox4;       // "Вкл. Резервный SMS канал" (zone mode)
    QGroupBox* GroupBox6;       // hidden restore group "Тип События - R (Восстановление)"
    QComboBox* ComboBox4;       // restore TCLIP GSM number
    QComboBox* ComboBox5;       // restore TCLIP key
    QComboBox* ComboBox6;       // restore SMS GSM number
    QComboBox* ComboBox8;       // restore SMS message 1..5
    QGroupBox* GroupBox7;       // "Тип Зоны", zone mode only
    QComboBox* ComboBox10;      // zone type names from paramp
    QPlainTextEdit* Memo1;      // hidden: the default code of each zone type, line by line
    QLineEdit* Edit3;           // the zone's Contact ID code, shown for "24" types only
    QLabel* StaticText1;        // "Код CID: " and the code
    QCheckBox* CheckBox1;       // "Сирена"
    QCheckBox* CheckBox3;       // "Передавать Восстановление"
    widgets::SpinEdit* UpDown1; // the zone's partition 1..8 (its edit is Edit2)
    QCheckBox* CheckBox2;       // "Зона внешнего расширителя", zones 1..6
    QLabel* StaticText2;        // why OK is disabled (a short zone code typed)
    QPushButton* BitBtn1;       // OK
    QPushButton* BitBtn2;       // Cancel

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void ComboBox10Change();
    void CheckBox3Click();
    void updateCodeVisibility();
    void updateOk();

    std::function<bool(TForm5&)> m_runner;
    bool m_codeTyped = false;  // Edit3 holds what the user typed since the dialog was loaded
};

}  // namespace kv6::pages
