"""The benchmark's statistics, its repeat rule, its two checks and its report.

Nothing here times or starts anything: bench/run.py measures and hands over its run
records, and tests/scripts/bench_report_test.py feeds made-up records, so that every
decision below can be checked without a clock.

Run records (as bench/run.py writes them into results.json):
  extract[set] = {"rounds": [{program: [run, ...]}, ...]}, run = {"total_ms", "peak_kb",
                 "files", and for the extractor "extract_ms", "window_ms"}
  window[set]  = {"rounds": [[run, ...], ...]}, run = {"window_ms", "peak_kb", "copy_ms",
                 "copy_peak_kb", "bytes"}
A round is one set of repetitions; a set is measured again, in a new round, while its
yardstick (the bare extractor, or the plain copy) spreads too much; the last round is
the one reported.
"""
import math
import statistics

# A yardstick whose repetitions spread more than this (in % of their median) has its
# set's repetitions run again, at most MAX_REPEATS times more.
SPREAD_LIMIT = 10.0
MAX_REPEATS = 2
# The two lines the extractor is held to.
EXTRACT_LINE = 1.10   # Start after the idle decoding against the bare extractor, by the median
GROWTH_LINE = 1.2     # growth of the time to the window against a plain copy's, at 1 GiB
EXTRACT_SETS = ("mixed200", "small20k", "tiny60k")
GROWTH_SET = "payload1024"
NAN = float("nan")

# Extraction rows: label, program, the run's field, compared with the bare extractor.
EXTRACT_ROWS = [
    ("bare FDI", "fdi", "total_ms", True),
    ("ours, Start after the idle decoding: pass", "idle", "extract_ms", True),
    ("ours, Start at once: pass", "ours", "extract_ms", True),
    ("ours: start to exit", "ours", "total_ms", True),
    ("ours: to the window", "ours", "window_ms", False),
    ("cabextract", "native", "total_ms", True),
]
PEAK = {"fdi": "bare FDI", "idle": "ours (idle)", "ours": "ours", "native": "cabextract"}


def summary(values):
    """Median, minimum and spread ((max - min) / median, in %) of one program's times."""
    values = list(values)
    median = statistics.median(values)
    spread = (max(values) - min(values)) / median * 100.0 if median > 0 else NAN
    return {"median": median, "min": min(values), "spread": spread, "reps": len(values)}


def divide(a, b):
    return a / b if b > 0 else NAN


def ratio(measured, base):
    """Ratios of two summaries: by the median and by the minimum."""
    return {"median": divide(measured["median"], base["median"]), "min": divide(measured["min"], base["min"])}


def needs_repeat(yardstick_times, rounds_done):
    """True when the set's repetitions are to run again: the yardstick spread more than the
    limit in the round just done and fewer than MAX_REPEATS repeats have been made."""
    return summary(yardstick_times)["spread"] > SPREAD_LIMIT and rounds_done <= MAX_REPEATS


def round_note(spreads, yardstick):
    """What the report says about a set's rounds, from its yardstick's spread in each."""
    shown = ", ".join(f"{s:.1f} %" for s in spreads)
    if len(spreads) == 1 and not spreads[0] > SPREAD_LIMIT:
        return ""
    text = f"repeated {len(spreads) - 1}x ({yardstick} spread {shown})" if len(spreads) > 1 else \
        f"{yardstick} spread {shown}"
    if spreads[-1] > SPREAD_LIMIT:
        text = f"**noisy**: {text}, over {SPREAD_LIMIT:.0f} %"
    return text


def is_noisy(spreads):
    return spreads[-1] > SPREAD_LIMIT


def times(runs, key):
    return [r[key] for r in runs]


def growth(ours, copy, ours_base, copy_base, key):
    """The time to the window above the smallest payload's, ours against the copy's (key:
    "median" or "min" of the summaries), which takes out the fixed cost of starting a
    windowed program; NaN where the copy did not grow."""
    return divide(ours[key] - ours_base[key], copy[key] - copy_base[key]) if copy[key] > copy_base[key] else NAN


def verdict(held):
    return "**held**" if held else "**not held**"


def check_extraction(idle_ratios, noisy):
    """Line 1: idle_ratios maps each measured set to ours (Start after the idle decoding)
    against the bare extractor by the median; noisy names the sets marked noisy. Held
    (True) only when every set was measured and none is over the line; None when the
    sets measured are within it but some were not measured."""
    if not idle_ratios:
        return None, "not measured"
    missing = [s for s in EXTRACT_SETS if s not in idle_ratios]
    over = [s for s, r in idle_ratios.items() if not r <= EXTRACT_LINE]
    shown = ", ".join(f"{s} {r:.3f}" for s, r in idle_ratios.items())
    if over:
        held, text = False, f"{verdict(False)}: {shown} (over the line: {', '.join(over)})"
    elif missing:
        held, text = None, f"held on the sets measured only: {shown}; not measured: {', '.join(missing)}"
    else:
        held, text = True, f"{verdict(True)}: {shown}"
    if noisy:
        text += f"; noisy: {', '.join(noisy)}"
    return held, text


def check_growth(growth_at_line, growth_by_min, noisy):
    """Line 2: the growth ratio by the median at 1 GiB (None: not measured)."""
    if growth_at_line is None:
        return None, f"not measured ({GROWTH_SET} and the smallest payload are both needed)"
    if math.isnan(growth_at_line):
        return None, "not computed: the copy did not grow from the smallest payload"
    held = growth_at_line <= GROWTH_LINE
    text = f"{verdict(held)}: {growth_at_line:.3f} by the median ({growth_by_min:.3f} by the minimum)"
    if noisy:
        text += "; noisy"
    return held, text


def extraction_table(extract, sets):
    lines = ["### Extraction (ratio against the bare FDI extractor; spread = (max - min) / median)", "",
             "| set | files | what | reps | median s | min s | spread % | ratio by median | ratio by min | "
             "per file ms (median) | peak MiB | note |",
             "|---|---|---|---|---|---|---|---|---|---|---|---|"]
    idle_ratios, noisy = {}, []
    for name in sets:
        rounds = extract[name]["rounds"]
        runs = rounds[-1]
        spreads = [summary(times(r["fdi"], "total_ms"))["spread"] for r in rounds]
        note = round_note(spreads, "bare")
        if is_noisy(spreads):
            noisy.append(name)
        files = runs["fdi"][0]["files"]
        base = summary(times(runs["fdi"], "total_ms"))
        for label, program, key, compared in EXTRACT_ROWS:
            s = summary(times(runs[program], key))
            r = ratio(s, base)
            if program == "idle":
                idle_ratios[name] = r["median"]
            ratios = f"{r['median']:.3f} | {r['min']:.3f}" if compared and program != "fdi" else "- | -"
            peak = statistics.median(times(runs[program], "peak_kb")) / 1024
            per_file = f"{s['median'] / files:.3f}" if compared else "-"
            peak_text = f"{peak:.0f}" if key == "total_ms" or program == "idle" else "-"
            lines.append(f"| {name} | {files} | {label} | {s['reps']} | {s['median'] / 1000:.3f} | "
                         f"{s['min'] / 1000:.3f} | {s['spread']:.1f} | {ratios} | "
                         f"{per_file} | {peak_text} | {note if program == 'fdi' else ''} |")
    return lines, idle_ratios, noisy


def window_table(window, sets):
    lines = ["### Time to the window (ratio against CopyFileA of the packed file)", "",
             "Growth ratio: the time above the smallest payload's (the first payload measured), ours "
             "against the copy's, by the medians (and by the minimums beside it); it takes out the fixed "
             "cost of starting a windowed program.", "",
             "| payload | file MiB | what | reps | median s | min s | spread % | ratio by median | ratio by min | "
             "growth ratio by median | growth ratio by min | peak MiB | note |",
             "|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    growth_line, noisy_line = (None, None), False
    base = None
    for name in sets:
        rounds = window[name]["rounds"]
        runs = rounds[-1]
        spreads = [summary(times(r, "copy_ms"))["spread"] for r in rounds]
        copy, ours = summary(times(runs, "copy_ms")), summary(times(runs, "window_ms"))
        if base is None:
            base, base_noisy = (copy, ours), is_noisy(spreads)
        grown = {k: growth(ours, copy, base[1], base[0], k) for k in ("median", "min")}
        if name == GROWTH_SET and name != sets[0]:
            # The growth is measured from the smallest payload: its noise counts as well.
            growth_line, noisy_line = (grown["median"], grown["min"]), is_noisy(spreads) or base_noisy
        r = ratio(ours, copy)
        mib = runs[0]["bytes"] / 2**20
        copy_peak = statistics.median(times(runs, "copy_peak_kb")) / 1024
        ours_peak = statistics.median(times(runs, "peak_kb")) / 1024
        lines.append(f"| {name} | {mib:.0f} | copy | {copy['reps']} | {copy['median'] / 1000:.3f} | "
                     f"{copy['min'] / 1000:.3f} | {copy['spread']:.1f} | - | - | - | - | {copy_peak:.0f} | "
                     f"{round_note(spreads, 'copy')} |")
        lines.append(f"| {name} | {mib:.0f} | ours to window | {ours['reps']} | {ours['median'] / 1000:.3f} | "
                     f"{ours['min'] / 1000:.3f} | {ours['spread']:.1f} | {r['median']:.3f} | {r['min']:.3f} | "
                     f"{grown['median']:.3f} | {grown['min']:.3f} | {ours_peak:.0f} | |")
    return lines, growth_line, noisy_line


def report(raw, extract_sets, window_sets):
    """The Markdown report of a run: both tables, then the two lines as checks."""
    lines, idle_ratios, noisy = extraction_table(raw["extract"], extract_sets)
    window_lines, (grown, grown_min), window_noisy = window_table(raw["window"], window_sets)
    lines += [""] + window_lines
    _, first = check_extraction(idle_ratios, noisy)
    _, second = check_growth(grown, grown_min, window_noisy)
    lines += ["", "### Checks", "",
              "| line | result |", "|---|---|",
              f"| extraction after the idle decoding within {EXTRACT_LINE:.2f}x of the bare extractor on every "
              f"set by the median | {first} |",
              f"| time to the window growing at most {GROWTH_LINE}x a plain copy's at 1 GiB (growth ratio "
              f"{GROWTH_SET} against the smallest payload, by the medians) | {second} |"]
    return "\n".join(lines) + "\n"
