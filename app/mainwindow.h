#pragma once

#include "app/anchors.h"

#include <QWidget>

#include <QPixmap>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QCloseEvent;
class QMenuBar;
class TContactList;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace report {
class TExportFilter;
class TReport;
class TPDFExport;
class TJPEGExport;
} // namespace report

namespace lumo {
struct CardDesign;
struct CardState;
class CardModel;
class RecoveryWriter;
class TCardLabel;
class TCardPanel;
class TColorDialog;
class TImage;
class TOpenDialog;
class TSaveDialog;
} // namespace lumo

// Whether the vCard, the QR picture and the preview match the contact boxes.
extern bool vcardgerado;

// The main window: the contact form, the vCard, the card preview and the output actions.
class TForm1 : public QWidget {
public:
    static constexpr int kDesignWidth = 1082;
    static constexpr int kDesignHeight = 589;

    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Name group
    QFrame *painelnome, *Bevel5;
    QLabel *Label4, *Label3, *Label10;
    QLineEdit *edtnome, *edtsobrenome, *edtsufixo;
    // Contact group
    QFrame *painelcontato, *Bevel4;
    QLabel *Label2, *Label1, *Label5, *Label12;
    QLineEdit *edtfixo, *edtcelular, *edtsite, *edtemail;
    // Address group
    QFrame *painelendereco, *Bevel3;
    QLabel *Label6, *Label7, *Label8, *Label9, *Estado, *Label11;
    QLineEdit *edtrua, *edtnumero, *edtbairro, *edtcidade, *edtestado, *edtcep;
    // vCard memo
    QFrame *painelfooter, *Bevel1;
    QPlainTextEdit* memovcard;
    // Top row
    QToolButton *SpeedButton7, *SpeedButton6, *SpeedButton8, *SpeedButton10, *SpeedButton9, *SpeedButton11,
        *SpeedButton3;
    QCheckBox *CheckBox3, *sangria;
    // Card preview, front then back, elements in layer order
    lumo::TCardPanel* painelfrente;
    lumo::TImage *pbackground, *Image3, *Image4, *Image1;
    lumo::TCardLabel *picone, *pnome, *psufixo;
    // Says, beneath the preview, when the name or suffix can be shown only cut.
    QLabel* avisocorte;
    lumo::TCardPanel* painelverso;
    lumo::TImage *pbackgroundfundo, *pbackgroundfundop, *plogo;
    // Bottom row
    QPushButton* gerarvcard;
    QToolButton *SpeedButton12, *SpeedButton1, *SpeedButton4, *SpeedButton5, *SpeedButton2;
    QCheckBox *CheckBox1, *CheckBox2;
    // The full-resolution QR picture, hidden
    lumo::TImage* Image2;
    // The menu bar above the designed area
    QMenuBar* MainMenu1;
    QMenu *Arquivo1, *AbrirRecente1, *Cartao1, *CorrecaoErros1, *Papel1;
    QAction *Novo1, *Abrir1, *SalvarCartao1, *SalvarComo1, *ImportarContatos1, *ExportarTodos1, *Sair1;
    QAction *AssociarColunas1, *ExportarCada1;
    // The imported contacts, beside the window
    TContactList* ContactList1;
    // The notice of a recovery copy that could not be written, at the menu bar's right
    QLabel* AvisoRecuperacao1;
    // Non-visual components
    lumo::TSaveDialog *SaveDialog1, *SaveDialog2, *SaveDialog3;
    lumo::TOpenDialog* OpenDialog1;
    lumo::TColorDialog *ColorDialog1, *ColorDialog2;
    QMenu *PopupMenu1, *PopupMenu2, *PopupMenu3, *PopupMenu4;
    QAction *Salvar1, *Romover1, *Remover1, *Removerimagemdofundo1;
    std::unique_ptr<report::TReport> Report1, Report2;
    std::unique_ptr<report::TPDFExport> PDFExport1;
    std::unique_ptr<report::TJPEGExport> JPEGExport1;

    // The Generate button's glyph from ImageList1: -1 none, 0 check mark, 1 refresh arrow.
    int GerarImageIndex() const { return FGerarImageIndex; }
    void SetGerarImageIndex(int index);
    // The memo's text with its line breaks as CR LF, every other character as it stands.
    QString MemoText() const;
    // The card the window shows and edits.
    lumo::CardModel& Model();
    // The open document's path; empty for a card never saved.
    QString DocumentPath() const { return FDocumentPath; }
    // Shows a card brought back after a crash: every value, marked modified, with the name
    // and path of the document it belongs to (empty for a card never saved).
    void RestoreCard(const lumo::CardState& state, const QString& documentPath = {});
    // The writer of this window's recovery copy: told when the card matches its document
    // again, and its failures shown in the menu bar.
    void AttachRecovery(lumo::RecoveryWriter* writer);
    // Opens a .lumocard document; throws lumo::UserError and keeps the card on a bad one.
    void OpenDocument(const QString& path);
    // Saves the card, asking for a name when it has none or `askName`. Returns false when
    // the user cancels; throws lumo::UserError when the file cannot be written.
    bool SaveDocument(bool askName);
    // Asks whether to save unsaved changes: true when the card may be closed.
    bool MaybeSave();
    // Runs after the user chose to close the window and nothing unsaved is lost.
    void SetClosedHandler(std::function<void()> handler) { FClosedHandler = std::move(handler); }
    // Runs when the about button is pressed; the application shell connects it.
    void SetAboutHandler(std::function<void()> handler) { FAboutHandler = std::move(handler); }

    // Handlers
    void FormCreate();
    void FormShow();
    void FormResize();
    void edtnomeKeyPress(QChar& Key);
    void edtsobrenomeKeyPress(QChar& Key);
    void edtsufixoKeyPress(QChar& Key);
    void edtfixoKeyPress(QChar& Key);
    void edtcelularKeyPress(QChar& Key);
    void edtsiteKeyPress(QChar& Key);
    void edtemailKeyPress(QChar& Key);
    void edtruaKeyPress(QChar& Key);
    void edtnumeroKeyPress(QChar& Key);
    void edtbairroKeyPress(QChar& Key);
    void edtcidadeKeyPress(QChar& Key);
    void edtestadoKeyPress(QChar& Key);
    void edtcepKeyPress(QChar& Key);
    void edtnomeChange();
    void edtsobrenomeChange();
    void edtsufixoChange();
    void edtfixoChange();
    void edtcelularChange();
    void edtsiteChange();
    void edtruaChange();
    void edtnumeroChange();
    void edtbairroChange();
    void edtcidadeChange();
    void edtestadoChange();
    void edtcepChange();
    void memovcardChange();
    void gerarvcardClick();
    void SpeedButton1Click();
    void SpeedButton12Click();
    void Image1ContextPopup();
    void Salvar1Click();
    void SpeedButton6Click();
    void SpeedButton7Click();
    void SpeedButton8Click();
    void SpeedButton9Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void CheckBox3Click();
    void pbackgroundContextPopup();
    void pbackgroundfundoContextPopup();
    void pbackgroundfundopContextPopup();
    void plogoContextPopup();
    void Romover1Click();
    void Removerimagemdofundo1Click();
    void Remover1Click();
    void SpeedButton2Click();
    void SpeedButton4Click();
    void SpeedButton5Click();
    void SpeedButton3Click();
    // File menu
    void Novo1Click();
    void Abrir1Click();
    void SalvarCartao1Click();
    void SalvarComo1Click();
    void Sair1Click();
    void ImportarContatos1Click();
    void AssociarColunas1Click();
    void ExportarTodos1Click();
    void ExportarCada1Click();
    // Puts the contact at `index` of the card's list on the card and generates it.
    void ContactChosen(int index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildContactForm();
    void buildFooter();
    void buildPreview();
    void buildButtons();
    void buildComponents();
    void buildMenu();
    // The "Papel" submenu of "Cartão": card-size pages or sheets of nine.
    void buildPaperMenu();
    void fillRecentMenu();
    void documentOpened(const QString& path);
    // The card on screen is its document's (or a new one): the recovery copy no longer counts.
    void cardClean();
    void updateTitle();
    void showContactList();
    // Height of the menu bar above the designed area.
    int menuHeight() const;
    void connectHandlers();
    void installIconFont();
    void centre();
    // Shows the card's values in the boxes, the memo and the preview.
    void showModel();
    QString memoWidgetText() const;
    bool qrPictureSavable() const;
    bool outputReady() const;
    void enterMovesTo(QChar& key, QWidget* next);
    void popupFor(QWidget* element, QMenu* menu, void (TForm1::*handler)());
    // The card as the preview shows it now.
    lumo::CardDesign Design() const;
    // The document for the current bleed choice, filled from the preview and laid out.
    report::TReport& PreparedDocument();
    // The PDF and JPEG actions: ask for the file, fill and lay out the document, write it.
    void exportCard(lumo::TSaveDialog* dialog, report::TExportFilter& exporter);
    // The PDF action for a card on sheets of office paper.
    void exportSheets();

    std::unique_ptr<lumo::CardModel> FModel;
    // The memo text last shown or typed, so the model's text is set into the memo only
    // when it really changed.
    QString FShownMemo;
    lumo::AnchorSet FFormAnchors;
    lumo::AnchorSet FNomeAnchors, FContatoAnchors, FEnderecoAnchors, FFooterAnchors;
    std::array<QPixmap, 2> FImageList1;
    int FGerarImageIndex = -1;
    bool FShown = false;
    std::function<void()> FAboutHandler, FClosedHandler;
    QString FDocumentPath;
    lumo::RecoveryWriter* FRecovery = nullptr;
    std::array<QAction*, 4> FQrLevelActions{};
    std::array<QAction*, 3> FSheetActions{};
    // Set while a whole card is put in the model, which is no edit of the user's.
    bool FReplacingCard = false;
};
