#!/usr/bin/env python3
"""A small stand-in for the fund-data provider, for trying Tovira by hand
without the internet. It serves the NAV-history page and the fund directory
script from the CSV histories in tests/data/provider (one file per fund,
named nav_CODE_*.csv) in the provider's markup.

    scripts/fake_provider.py [--port 8765] [--page-cap 0]

Then point the hosts in Config.ini (section 服务器, keys NavHistory,
FundDirectory, EstimateTiantian and TrendChart) at 127.0.0.1:8765. Estimates of a fund
are its last NAV moved by 0.83 %. --page-cap N serves at most N rows a page,
as the real provider does for long ranges.
"""
import argparse
import csv
import datetime
import glob
import os
import math
import struct
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data", "provider")

HEADER = ("<table class='w782 comm lsjz'><thead><tr><th class='first'>净值日期</th><th>单位净值</th>"
          "<th>累计净值</th><th>日增长率</th><th>申购状态</th><th>赎回状态</th>"
          "<th class='tor last'>分红送配</th></tr></thead><tbody>")


def load_histories():
    funds = {}
    for path in glob.glob(os.path.join(DATA, "nav_*.csv")):
        code = os.path.basename(path).split("_")[1]
        with open(path, encoding="utf-8") as f:
            funds[code] = list(csv.DictReader(f))
    return funds


def change_cell(text):
    if not text:
        return "<td class='tor bold'></td>"
    if not text.endswith("%"):
        text += "%"
    value = float(text.rstrip("%"))
    colour = "red" if value > 0 else "grn" if value < 0 else "bck"
    return "<td class='tor bold %s'>%s</td>" % (colour, text)


def render(rows):
    cells = []
    for r in rows:
        cells.append("<tr><td>%s</td><td class='tor bold'>%s</td><td class='tor bold'>%s</td>%s"
                     "<td>%s</td><td>%s</td><td class='red unbold'>%s</td></tr>" % (
                         r["date"], r["nav"], r["acc_nav"], change_cell(r["change_pct"]),
                         r["purchase_status"], r["redeem_status"], r["dividend_text"]))
    return HEADER + "".join(cells) + "</tbody></table>"


def trend_png(width=540, height=300):
    """A stand-in intraday chart: a wandering red line on a light grid."""
    pixels = [[(255, 255, 255)] * width for _ in range(height)]
    for y in range(0, height, 50):
        pixels[y] = [(225, 225, 225)] * width
    for x in range(width):
        y = int(height / 2 - 60 * math.sin(x / 70.0) - 25 * math.sin(x / 17.0))
        for dy in (-1, 0, 1):
            if 0 <= y + dy < height:
                pixels[y + dy][x] = (220, 30, 30)
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


class Handler(BaseHTTPRequestHandler):
    funds = {}
    page_cap = 0

    def send(self, body, content_type):
        data = body.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/js/fundcode_search.js":
            with open(os.path.join(DATA, "fundcode_search_excerpt_first60.js"), encoding="utf-8-sig") as f:
                script = f.read()
            self.send(script, "application/javascript; charset=utf-8")
            return
        if url.path.startswith("/charts/pic6/") and url.path.endswith(".png"):
            data = trend_png()
            self.send_response(200)
            self.send_header("Content-Type", "image/png")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            return
        if url.path.startswith("/js/") and url.path.endswith(".js"):
            # Intraday estimate of the fund: the last NAV of its history
            # moved by a small change.
            code = url.path[4:-3]
            rows = self.funds.get(code)
            if not rows:
                self.send("jsonpgz();", "application/javascript; charset=utf-8")
                return
            last = float(rows[-1]["nav"])
            estimate = last * 1.0083
            body = ('jsonpgz({"fundcode":"%s","name":"","jzrq":"%s","dwjz":"%.4f","gsz":"%.4f",'
                    '"gszzl":"%.2f","gztime":"%s"});' % (
                        code, rows[-1]["date"], last, estimate, 0.83,
                        datetime.datetime.now().strftime("%Y-%m-%d %H:%M")))
            self.send(body, "application/javascript; charset=utf-8")
            return
        if url.path != "/f10/F10DataApi.aspx":
            self.send_error(404)
            return
        q = dict(urllib.parse.parse_qsl(url.query))
        day = lambda s: datetime.datetime.strptime(s, "%Y/%m/%d").date()
        start, end = day(q["sdate"]), day(q["edate"])
        rows = [r for r in self.funds.get(q.get("code", ""), [])
                if start <= datetime.date.fromisoformat(r["date"]) <= end]
        rows.reverse()  # newest first
        per = int(q.get("per", "10"))
        if self.page_cap:
            per = min(per, self.page_cap)
        page = int(q.get("page", "1"))
        pages = max(1, -(-len(rows) // per))
        chosen = rows[(page - 1) * per:page * per]
        content = render(chosen) if chosen else "暂无数据!"
        body = 'var apidata={ content:"%s",records:%d,pages:%d,curpage:%d};' % (
            content, len(rows), pages, page)
        self.send(body, "text/html; charset=utf-8")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, default=8765)
    parser.add_argument("--page-cap", type=int, default=0)
    args = parser.parse_args()
    Handler.funds = load_histories()
    Handler.page_cap = args.page_cap
    print("serving %s on 127.0.0.1:%d" % (", ".join(sorted(Handler.funds)), args.port), flush=True)
    ThreadingHTTPServer(("127.0.0.1", args.port), Handler).serve_forever()


if __name__ == "__main__":
    main()
