#!/usr/bin/env bash
# Builds the benchmarks in release mode into build-bench, runs them and prints one table:
# our QR encoder beside libqrencode and qrcodegen, one Generate, the PDF and JPEG exports,
# saving and opening a card document, the recovery writer's pause per change, the peak
# memory of a whole session measured with /usr/bin/time -v, and batches of cards to PDF (time,
# peak memory for 1000, 10 000 and 100 000 cards, size per card beside a shared photograph, the same
# 1000 cards on A4 sheets beside card-size pages, and gLabels 3 doing the same batch when
# glabels-3-batch is installed), the print shop's PDF/X beside the batch, importing 10 000
# contacts into the list, and writing and verifying a vCard on an emulated NFC chip.
#
#   bench/run.sh                 medians of 9 repetitions
#   BENCH_REPETITIONS=3 bench/run.sh
#
# Times are medians of wall-clock time; a ratio above 1 means our encoder is the faster. The
# table is also written to build-bench/results.md. The machine should be otherwise idle.
set -euo pipefail
cd "$(dirname "$0")/.."

out=build-bench
reps=${BENCH_REPETITIONS:-9}
./tools/install-deps.sh --tests
cmake -S . -B $out -DCMAKE_BUILD_TYPE=Release -DLUMO_BUILD_TESTS=OFF >/dev/null
cmake --build $out -j2 --target bench_qrcode bench_card bench_report bench_document bench_session bench_batch \
    bench_nfc bench_contacts bench_printshop lumocard >/dev/null

export QT_QPA_PLATFORM=offscreen
run() {
    local bin=$1
    shift
    echo "running $bin" >&2
    "$out/bench/${bin#bench_}/$bin" --benchmark_repetitions="$reps" --benchmark_report_aggregates_only=true \
        --benchmark_out="$out/$bin.json" --benchmark_out_format=json "$@" >/dev/null
}
run bench_qrcode --benchmark_enable_random_interleaving=true
run bench_card
run bench_report --benchmark_filter='TwoSides'
run bench_document
run bench_nfc
run bench_contacts

echo "running bench_session under /usr/bin/time -v" >&2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
"$out/bench/session/bench_session" --make-background "$tmp/fundo.jpg"
/usr/bin/time -v "$out/bench/session/bench_session" "$tmp/fundo.jpg" 2>"$out/session-time.txt" >"$out/session.txt"
peak_kb=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$out/session-time.txt")
session_s=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$out/session-time.txt")

echo "running bench_batch under /usr/bin/time -v" >&2
batch=$out/bench/batch/bench_batch
for cards in 1000 10000 100000; do
    /usr/bin/time -v "$batch" $cards "$tmp/lote.pdf" 2>"$out/batch$cards-time.txt" >"$out/batch$cards.txt"
done
# The command line on the same contacts, read from a .vcf, and the same design, read from a document.
for cards in 1000 10000 100000; do
    "$batch" --write-files $cards "$tmp/contatos.vcf" "$tmp/desenho.lumocard"
    /usr/bin/time -v "$out/app/lumocard" --batch "$tmp/contatos.vcf" --design "$tmp/desenho.lumocard" \
        --output "$tmp/lote.pdf" 2>"$out/cli$cards-time.txt" >/dev/null
done
# Sheets beside card-size pages, taken in turns so that the machine's load falls on both alike.
for i in 1 2 3; do
    "$batch" 1000 "$tmp/paginas.pdf" >"$out/batch-card$i.txt"
    "$batch" 1000 "$tmp/folhas.pdf" --sheet a4 >"$out/batch-a4-$i.txt"
done
"$batch" 1 "$tmp/um.pdf" --background "$tmp/fundo.jpg" >"$out/batch-photo1.txt"
"$batch" 1000 "$tmp/mil.pdf" --background "$tmp/fundo.jpg" >"$out/batch-photo1000.txt"
# The print shop's PDF/X beside today's batch PDF of the same 1000 cards (time, one card), and its
# peak memory at 1000 and 10 000 cards.
printshop=$out/bench/printshop/bench_printshop
"$printshop" 1000 "$tmp" --background "$tmp/fundo.jpg" >"$out/printshop1000.txt"
for cards in 1000 10000; do
    /usr/bin/time -v "$printshop" $cards "$tmp" --background "$tmp/fundo.jpg" --only pdfx \
        >/dev/null 2>"$out/printshop$cards-time.txt"
done
: >"$out/batch-glabels.txt"
if command -v glabels-3-batch >/dev/null; then
    echo "running gLabels 3 on the same batch" >&2
    bench/batch/glabels.sh "$batch" 1000 >"$out/batch-glabels.txt"
fi

python3 - "$out" "$peak_kb" "$session_s" <<'PY' | tee "$out/results.md"
import json, re, sys

out, peak_kb, session_s = sys.argv[1], int(sys.argv[2]), sys.argv[3]
scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}  # to milliseconds

def median_runs(name):
    with open(f"{out}/{name}.json") as f:
        runs = json.load(f)["benchmarks"]
    return {r["run_name"]: r for r in runs if r.get("aggregate_name") == "median"}

def medians(name):
    return {k: r["real_time"] * scale[r["time_unit"]] for k, r in median_runs(name).items()}

def fmt(ms):
    return f"{ms * 1000:.1f} µs" if ms < 1 else f"{ms:.2f} ms"

rows = []
qr = medians("bench_qrcode")
inputs = [("a_vcard", "vCard típico (~150 bytes)"), ("b_empty_vcard", "vCard vazio (49 bytes)"),
          ("c_1000_bytes", "1000 bytes"), ("d_2953_bytes", "2953 bytes (versão 40)")]
for key, label in inputs:
    ours, lib, gen = qr[f"{key}/lumo"], qr[f"{key}/libqrencode"], qr[f"{key}/qrcodegen"]
    rows.append((f"Codificar QR: {label}", fmt(ours), fmt(lib), fmt(gen),
                 f"{lib / ours:.1f} / {gen / ours:.0f}", "≤ libqrencode", ours <= lib))

def single(label, ms, limit_ms):
    rows.append((label, fmt(ms), "—", "—", "—", f"< {limit_ms:g} ms", ms < limit_ms))

card = medians("bench_card")
single("Gerar: vCard típico", card["BM_GenerateTypical"], 5)
single("Gerar: vCard de versão 40", card["BM_GenerateVersion40"], 15)
report = medians("bench_report")
single("Exportar PDF (frente e verso, foto 3000 × 2000)", report["BM_PdfExportTwoSides"], 250)
single("Exportar JPEG (frente e verso, foto 3000 × 2000)", report["BM_JpegExportTwoSides"], 150)
document = medians("bench_document")
single("Documento: montar os bytes (foto 6000 × 4000)", document["BM_DocumentBytes"], 100)
single("Documento: salvar, além de gravar os bytes", document["BM_SaveDocument"] - document["BM_WriteBytesOnly"], 100)
single("Documento: abrir até o modelo (sem desenhar)", document["BM_OpenDocument"], 600)
single("Documento: abrir até a prévia desenhada", document["BM_OpenDocumentToDrawnPreview"], 600)
single("Recuperação: pausa da interface por alteração", document["BM_RecoveryBlocksPerChange/manual_time"], 16)
single("Recuperação: pausa da interface por alteração, lista de 100 000 contatos",
       document["BM_RecoveryBlocksPerChangeWithList/manual_time"], 16)
single("Recuperação: gravação em segundo plano por alteração (três fotos de 24 megapixels)",
       document["BM_RecoveryWritePerChange/manual_time"], 50)
overhead = median_runs("bench_document")["BM_DocumentBytes"]["overhead_bytes"]
rows.append(("Documento: bytes além das imagens", f"{overhead:.0f} bytes", "—", "—", "—", "< 8 KB", overhead < 8192))
peak_mb = peak_kb / 1024
session_seconds = sum(float(part) * 60**i for i, part in enumerate(reversed(session_s.split(":"))))
rows.append((f"Pico de memória de uma sessão inteira ({session_seconds:.1f} s)", f"{peak_mb:.0f} MB", "—", "—", "—",
             "< 300 MB", peak_mb < 300))

def facts(name):  # key=value pairs printed by bench_batch or glabels.sh
    with open(f"{out}/{name}.txt") as f:
        return {k: float(v) for k, v in re.findall(r"(\w+)=([\d.]+)", f.read())}

def max_rss_mb(name):
    with open(f"{out}/{name}-time.txt") as f:
        return int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", f.read()).group(1)) / 1024

b1, b10 = facts("batch1000"), facts("batch10000")
rows.append(("Lote: 1000 cartões, frente e verso, em PDF", f"{b1['seconds']:.2f} s", "—", "—", "—", "< 5 s",
             b1["seconds"] < 5))

def wall_s(name):
    with open(f"{out}/{name}-time.txt") as f:
        clock = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): ([\d:.]+)", f.read()).group(1)
    return sum(float(part) * 60**i for i, part in enumerate(reversed(clock.split(":"))))

cli1 = wall_s("cli1000")
rows.append(("Lote pela linha de comando: 1000 contatos de um .vcf, frente e verso", f"{cli1:.2f} s", "—", "—", "—",
             "< 5 s", cli1 < 5))
peak1, peak10 = max_rss_mb("cli1000"), max_rss_mb("cli10000")
rows.append(("Lote pela linha de comando: pico de memória com 1000 contatos", f"{peak1:.0f} MB", "—", "—", "—",
             "< 300 MB", peak1 < 300))
rows.append(("Lote pela linha de comando: pico de memória, 10 000 ÷ 1000 contatos",
             f"{peak10 / peak1:.2f} ({peak10:.1f} ÷ {peak1:.1f} MB)", "—", "—", "—", "≤ 1,10", peak10 / peak1 <= 1.10))
peak100 = max_rss_mb("cli100000")
rows.append(("Lote pela linha de comando: pico de memória, 100 000 ÷ 1000 contatos",
             f"{peak100 / peak1:.2f} ({peak100:.1f} ÷ {peak1:.1f} MB)", "—", "—", "—", "≤ 1,10", peak100 / peak1 <= 1.10))
b100 = facts("batch100000")
for b, label in ((b10, "10 000"), (b100, "100 000")):
    ratio = (b["seconds"] / b["cards"]) / (b1["seconds"] / b1["cards"])
    rows.append((f"Lote: tempo por cartão, {label} ÷ 1000 cartões",
                 f"{ratio:.2f} ({b['seconds'] / b['cards'] * 1000:.2f} ÷ {b1['seconds'] / b1['cards'] * 1000:.2f} ms)",
                 "—", "—", "—", "0,80 a 1,20", 0.8 <= ratio <= 1.2))
own1 = (b1["peak_kb"] - b1["rss_before_kb"]) / 1024
own10 = (b10["peak_kb"] - b10["rss_before_kb"]) / 1024
rows.append(("Lote: memória da exportação, 10 000 cartões a mais que 1000", f"{own10 - own1:+.1f} MB", "—", "—", "—",
             f"≤ 10 % do pico de 1000 ({peak1 / 10:.1f} MB)", own10 - own1 <= peak1 / 10))
pages_s = sorted(facts(f"batch-card{i}")["seconds"] for i in (1, 2, 3))[1]
sheets_s = sorted(facts(f"batch-a4-{i}")["seconds"] for i in (1, 2, 3))[1]
rows.append(("Lote: 1000 cartões, frente e verso, em folhas A4 ÷ em páginas do cartão",
             f"{sheets_s:.2f} s ÷ {pages_s:.2f} s = {sheets_s / pages_s:.2f}", "—", "—", "—", "≤ 1,20",
             sheets_s / pages_s <= 1.20))
p1, p1000 = facts("batch-photo1"), facts("batch-photo1000")
per_card = (p1000["bytes"] - p1["bytes"]) / 999
rows.append(("Lote com foto 6000 × 4000 de fundo: bytes por cartão além do primeiro", f"{per_card / 1024:.1f} KB", "—",
             "—", "—", "< 15 KB", per_card < 15 * 1024))
g = facts("batch-glabels")
if g:
    rows.append(("Lote de 1000 cartões, só frente: gLabels 3 ÷ Lumo", f"{g['lumo_seconds']:.2f} s", "—", "—",
                 f"gLabels 3: {g['glabels_seconds']:.1f} s ({g['glabels_seconds'] / g['lumo_seconds']:.0f} ×)", "—", None))

ps = facts("printshop1000")
rows.append(("Gráfica (PDF/X): 1000 cartões ÷ o lote em PDF dos mesmos cartões",
             f"{ps['ratio']:.2f} ({ps['pdfx_seconds']:.2f} ÷ {ps['batch_seconds']:.2f} s)", "—", "—", "—", "≤ 2",
             ps["ratio"] <= 2))
single("Gráfica (PDF/X): um cartão", ps["card_ms"], 300)
ps1, ps10 = max_rss_mb("printshop1000"), max_rss_mb("printshop10000")
rows.append(("Gráfica (PDF/X): pico de memória, 10 000 ÷ 1000 cartões",
             f"{ps10 / ps1:.2f} ({ps10:.1f} ÷ {ps1:.1f} MB)", "—", "—", "—", "≤ 1,10", ps10 / ps1 <= 1.10))
contacts = medians("bench_contacts")
single("Contatos: importar 10 000 para a lista e mostrá-la", contacts["BM_ImportTenThousandAndShowTheList"], 1000)
nfc = medians("bench_nfc")
single("NFC: gravar e conferir um vCard de 300 bytes num NTAG215 emulado", nfc["BM_WriteAndVerifyNtag215/300/real_time"], 300)

head = ("Medição", "Lumo Card", "libqrencode", "qrcodegen", "libqrencode ÷ Lumo / qrcodegen ÷ Lumo", "Meta", "Atingida")
print("| " + " | ".join(head) + " |")
print("|" + "|".join("---" for _ in head) + "|")
for r in rows:
    print("| " + " | ".join(r[:-1]) + " | " + ("—" if r[-1] is None else "sim" if r[-1] else "**não**") + " |")
PY
