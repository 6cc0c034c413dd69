// The modal-dialog service as tests and forms rely on it.
#include <QDialog>
#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include "widgets/services/dialogs.h"

namespace {

/// A dialog with a name and a text field, as the component's forms are.
class NamedDialog : public QDialog {
public:
    explicit NamedDialog(const QString& name) {
        setObjectName(name);
        m_edit = new QLineEdit(this);
        m_edit->setObjectName(QStringLiteral("txtValue"));
    }
    QLineEdit* m_edit;
};

/// Installs a scripted service for the life of a test and restores the default afterwards.
struct ScriptedScope {
    ScriptedScope() {
        auto owned = std::make_unique<kx::ScriptedDialogService>();
        service = owned.get();
        kx::setDialogService(std::move(owned));
    }
    ~ScriptedScope() { kx::setDialogService(nullptr); }
    kx::ScriptedDialogService* service;
};

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void scriptAcceptsAndFillsTheDialog() {
        ScriptedScope scope;
        scope.service->queue("frmA", [](QDialog& d) {
            d.findChild<QLineEdit*>("txtValue")->setText("typed");
            d.accept();
        });
        NamedDialog dialog("frmA");
        QCOMPARE(kx::dialogService().exec(dialog), int(QDialog::Accepted));
        QCOMPARE(dialog.m_edit->text(), QString("typed"));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(scope.service->shown(), QStringList{"frmA"});
    }

    void scriptsGoToTheDialogTheyNameInTurn() {
        ScriptedScope scope;
        scope.service->queue("frmB", [](QDialog& d) { d.done(7); });
        scope.service->queue("frmA", [](QDialog& d) { d.accept(); });
        scope.service->queue("frmB", [](QDialog& d) { d.reject(); });
        NamedDialog a("frmA"), b("frmB");
        QCOMPARE(kx::dialogService().exec(a), int(QDialog::Accepted));
        QCOMPARE(kx::dialogService().exec(b), 7);
        QCOMPARE(kx::dialogService().exec(b), int(QDialog::Rejected));
        QCOMPARE(scope.service->shown(), (QStringList{"frmA", "frmB", "frmB"}));
    }

    void dialogWithoutScriptIsRejectedWithoutShowing() {
        ScriptedScope scope;
        NamedDialog dialog("frmNone");
        dialog.setResult(QDialog::Accepted);
        QCOMPARE(kx::dialogService().exec(dialog), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
    }

    void dialogThatClosesItselfLaterFinishesThroughTheEventLoop() {
        ScriptedScope scope;
        scope.service->queue("frmSelf", [](QDialog& d) { QTimer::singleShot(20, &d, [&d] { d.accept(); }); });
        NamedDialog dialog("frmSelf");
        QCOMPARE(kx::dialogService().exec(dialog), int(QDialog::Accepted));
        QVERIFY(scope.service->timedOut().isEmpty());
    }

    void dialogLeftOpenIsRejectedAfterTheTimeout() {
        ScriptedScope scope;
        scope.service->setFinishTimeout(30);
        scope.service->queue("frmStuck", [](QDialog&) {});
        NamedDialog dialog("frmStuck");
        QCOMPARE(kx::dialogService().exec(dialog), int(QDialog::Rejected));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(scope.service->timedOut(), QStringList{"frmStuck"});
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
