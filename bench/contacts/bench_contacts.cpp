// Importing 10 000 contacts of a spreadsheet into a card's list and showing the list: the
// file read and mapped, repeated contacts merged, the list filled and drawn.

#include "app/contactlist.h"
#include "card/cardmodel.h"
#include "contact/contactimport.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

namespace {

QString file;

// A spreadsheet as people write them: Portuguese headers, accents, every column filled.
void writeSpreadsheet(const QString& path, int contacts) {
    QByteArray csv = "Nome completo;Celular/WhatsApp;Telefone;E-mail;Empresa;Cargo;Logradouro;Nº;Complemento;"
                     "Bairro;Município;UF;CEP\r\n";
    for (int i = 0; i < contacts; ++i) {
        const QByteArray n = QByteArray::number(i);
        csv += "João Conceição " + n + ";(11) 9" + QByteArray::number(10000000 + i) + ";(11) 3" +
               QByteArray::number(1000000 + i) + ";joao" + n +
               "@exemplo.com.br;Acme Ltda.;Gerente;Rua das Acácias;" + n +
               ";Sala 3;Vila Mariana;São Paulo;SP;04101-000\r\n";
    }
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(csv);
}

void BM_ImportTenThousandAndShowTheList(benchmark::State& state) {
    for (auto _ : state) {
        lumo::CardModel model;
        TContactList list(nullptr);
        list.SetModel(&model);
        const lumo::ImportResult result = lumo::readContactsFile(file);
        std::vector<lumo::ContactFields> contacts;
        lumo::addContacts(contacts, result.contacts);
        model.SetContacts(contacts);
        list.SetContacts(model.Contacts());
        list.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(list.lstcontatos->count());
        if (list.lstcontatos->count() != 10000)
            state.SkipWithError("not every contact listed");
    }
}

BENCHMARK(BM_ImportTenThousandAndShowTheList)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp;
    file = temp.filePath(QStringLiteral("contatos.csv"));
    writeSpreadsheet(file, 10000);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
