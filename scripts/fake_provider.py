#!/usr/bin/env python3
"""A small stand-in for the fund-data provider, for trying Tovira by hand
without the internet. It serves, from the CSV histories in
tests/data/provider (one file per fund, named nav_CODE_*.csv), in the
provider's own shapes:

  /f10/lsjz                 the NAV history as JSON, 20 days a page at most,
                            only with a Referer naming jjjz_CODE.html
  /pingzhongdata/CODE.js    the trend script: every day in one answer
  /f10/F10DataApi.aspx      the older HTML table of the NAV history
  /js/fundcode_search.js    the fund directory
  /js/CODE.js               intraday estimates (the last NAV moved by 0.83 %)
  /charts/pic6/CODE.png     an intraday chart
  the live estimate sources (the batch valuation, Sina's JSONP, 10jqka's
  real-time answer and day curve, the holdings as JSON and as a page, the
  quotes from both quote services, the asset allocation in the trend
  script), all in their published shapes; --estimates MODE makes them answer
  today (default), null, stale, preopen, gone, cut or slow

and a money-market fund, 000905, whose made-up daily income per 10,000
shares (2024 to today) the program must refuse to back-test.

    scripts/fake_provider.py [--port 8765] [--page-cap 0] [--retired-table]

Then point the keys of Config.ini (section 服务器) at it, e.g.

    NavHistoryApi=http://127.0.0.1:8765
    FundDataScript=http://127.0.0.1:8765
    FundDirectory=127.0.0.1:8765
    EstimateTiantian=127.0.0.1:8765
    TrendChart=127.0.0.1:8765

and, to use the HTML table instead of the JSON, NavHistory=127.0.0.1:8765
with NavHistorySource=table. --page-cap N serves the table at most N rows a
page, as the real provider did for long ranges. --retired-table makes the
table answer as it has since 2026: a redirect (302) to a page that is not
there (404).
"""
import argparse
import csv
import datetime
import glob
import json
import math
import os
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


NAMES = {"006675": "宝盈品牌消费股票A", "161725": "招商中证白酒指数分级"}

# The money-market fund: its "NAV" is the income per 10,000 shares, which can
# be negative, zero or missing, and its accumulated value the 7-day yield.
MONEY_FUND = "000905"
MONEY_FUND_NAME = "鹏华安盈宝货币A"
MONEY_FUND_DAYS = [("0.3117", "1.1410"), ("0.0000", "1.1410"), ("-0.6228", "1.1409"),
                   (None, "1.1410"), ("0.5807", "2.1140"), ("0.5809", "2.1150")]

BEIJING = datetime.timezone(datetime.timedelta(hours=8))

# What /f10/lsjz answers without a Referer naming the fund's NAV page.
REFUSED = {"Data": "", "ErrCode": -999, "ErrMsg": "", "TotalCount": 0, "Expansion": None,
           "PageSize": 0, "PageIndex": 0}
API_PAGE_CAP = 20


def money_fund_history():
    """Every calendar day from 2024 to today, oldest first."""
    day = datetime.date(2024, 1, 1)
    rows = []
    while day <= datetime.date.today():
        income, yield7 = MONEY_FUND_DAYS[len(rows) % len(MONEY_FUND_DAYS)]
        rows.append({"date": day.isoformat(), "income": income, "yield7": yield7})
        day += datetime.timedelta(days=1)
    return rows


def beijing_ms(date_text):
    """Milliseconds since the epoch of the day's midnight in Beijing."""
    day = datetime.date.fromisoformat(date_text)
    midnight = datetime.datetime(day.year, day.month, day.day, tzinfo=BEIJING)
    return int(midnight.timestamp()) * 1000


def number(text):
    """A decimal text as a JSON number ("1.2900" becomes 1.29)."""
    return float(text)


def api_row(r):
    """One CSV day as a row of /f10/lsjz (the 2026 shape, 14 fields)."""
    dividend = r["dividend_text"]
    cash = ""
    if dividend.startswith("每份派现金") and dividend.endswith("元"):
        cash = dividend[len("每份派现金"):-1]
    return {"FSRQ": r["date"], "DWJZ": r["nav"], "LJJZ": r["acc_nav"], "SDATE": None,
            "ACTUALSYI": "", "NAVTYPE": "1", "JZZZL": r["change_pct"].rstrip("%"),
            "SGZT": r["purchase_status"], "SHZT": r["redeem_status"], "FHFCZ": cash,
            "FHFCZ10": None, "FHFCBZ": "0" if cash else "", "DTYPE": None, "FHSP": dividend}


def money_fund_api_row(r):
    return {"FSRQ": r["date"], "DWJZ": r["income"], "LJJZ": r["yield7"], "SDATE": "",
            "ACTUALSYI": "", "NAVTYPE": "1", "JZZZL": "0.00", "SGZT": "限制大额申购",
            "SHZT": "开放赎回", "FHFCZ": "", "FHFCZ10": "", "FHFCBZ": "", "DTYPE": None,
            "FHSP": ""}


def unit_money(dividend):
    if not dividend:
        return ""
    return ("拆分：" if dividend.startswith("每份基金份额") else "分红：") + dividend


def js_list(items):
    return json.dumps(items, ensure_ascii=False, separators=(",", ":"))


def trend_script(code, rows):
    """The trend script of a fund (its whole history, no statuses)."""
    stamp = datetime.datetime.now(BEIJING).strftime("%Y-%m-%d %H:%M:%S")
    worth = [{"x": beijing_ms(r["date"]), "y": number(r["nav"]),
              "equityReturn": number(r["change_pct"].rstrip("%")) if r["change_pct"] else 0,
              "unitMoney": unit_money(r["dividend_text"])} for r in rows]
    accumulated = [[beijing_ms(r["date"]), number(r["acc_nav"])] for r in rows]
    return ('/*%s*/var ishb=false;var fS_name = "%s";var fS_code = "%s";'
            'var Data_netWorthTrend = %s;var Data_ACWorthTrend = %s;'
            'var Data_currentFundManager = [];' % (
                stamp, NAMES.get(code, ""), code, js_list(worth), js_list(accumulated)))


def money_fund_trend_script(rows):
    stamp = datetime.datetime.now(BEIJING).strftime("%Y-%m-%d %H:%M:%S")
    days = [r for r in rows if r["income"] is not None]
    income = [[beijing_ms(r["date"]), number(r["income"])] for r in days]
    yields = [[beijing_ms(r["date"]), number(r["yield7"])] for r in days]
    return ('/*%s*/var ishb=true;var fS_name = "%s";var fS_code = "%s";'
            'var Data_millionCopiesIncome = %s;var Data_sevenDaysYearIncome = %s;' % (
                stamp, MONEY_FUND_NAME, MONEY_FUND, js_list(income), js_list(yields)))


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


# The holdings every fund is given: three Shenzhen stocks and their moves.
HOLDINGS = [("300390", "天华新能", 9.97, 1.0), ("002738", "中矿资源", 9.94, 2.0),
            ("002240", "盛新锂能", 9.90, -1.0)]
STOCK_SHARE = 87.24


def estimate_day(mode):
    """The Beijing day the estimate sources answer for."""
    today = datetime.datetime.now(BEIJING)
    return today - datetime.timedelta(days=1) if mode == "stale" else today


class Handler(BaseHTTPRequestHandler):
    funds = {}
    page_cap = 0
    retired_table = False
    estimates = "today"

    def last_nav(self, code):
        rows = self.funds.get(code)
        return (float(rows[-1]["nav"]), rows[-1]["date"]) if rows else (1.0, "2026-01-05")

    def estimate_answer(self, url):
        """The live estimate sources; False for a path that is none of them."""
        q = dict(urllib.parse.parse_qsl(url.query))
        mode = self.estimates
        now = estimate_day(mode)
        day, clock = now.strftime("%Y-%m-%d"), now.strftime("%H:%M")
        if url.path == "/mm/newCore/FundValuationLast":
            rows = []
            for code in q.get("FCODES", "").split(","):
                nav, pdate = self.last_nav(code)
                row = {"FCODE": code, "SHORTNAME": NAMES.get(code, ""), "PDATE": pdate, "NAV": nav,
                       "GSZ": None, "GSZZL": None, "GZTIME": None}
                if mode != "null":
                    row.update(GSZ=round(nav * 1.0083, 4), GSZZL=0.83, GZTIME=day + " " + clock)
                rows.append(row)
            body = json.dumps({"data": rows, "errorCode": 0, "success": True}, ensure_ascii=False)
        elif url.path.startswith("/fundInfo/api/openapi.php/FdFundService.getEstimateNetworthPic"):
            code = q.get("symbol", "")
            nav, _ = self.last_nav(code)
            worth = None if mode == "null" else [{
                "symbol": code, "min_time": clock + ":00", "pre_date": day,
                "pre_nav": "%.4f" % (nav * 1.0069), "growthrate": 0.0069}]
            body = "/*<script>location.href='//sina.com';</script>*/%s(%s)" % (
                q.get("callback", "cb"), json.dumps({"result": {"status": {"code": 0},
                                                                "data": {"networth": worth}}}))
        elif url.path == "/" and q.get("action") == "chart":
            code = q.get("info", "")[len("vm_fd_"):]
            nav, pdate = self.last_nav(code)
            points = "" if mode == "null" else "0930,%.5f,%.4f,0;%s,%.5f,%.4f,0" % (
                nav, nav, now.strftime("%H%M"), nav * 1.0051, nav)
            body = "vm_fd_%s='%s;0930-1130,1300-1500|%s~%.4f~%s'" % (code, pdate, day, nav, points)
        elif url.path == "/fund/ajax/gmfund/valuation/valuationnav.htm":
            nav, _ = self.last_nav(q.get("jjdm", ""))
            body = ("" if mode == "null" else
                    "<li><span>%.4f</span><span>0.83%%</span></li>" % (nav * 1.0083))
        elif url.path == "/" and q.get("action") == "real":
            body = "jQuery({})"  # retired: a whole answer without an estimate
        elif url.path == "/FundMNewApi/FundMNInverstPosition":
            stocks = [{"GPDM": c, "GPJC": n, "JZBL": "%.2f" % w, "NEWTEXCH": "0"}
                      for c, n, w, _ in HOLDINGS]
            body = json.dumps({"Datas": {"fundStocks": stocks, "fundboods": []}, "ErrCode": 0,
                               "Success": True, "TotalCount": 1, "Expansion": "2026-03-31"},
                              ensure_ascii=False)
        elif url.path == "/FundArchivesDatas.aspx":
            code = q.get("code", "")
            if "ccmx_%s.html" % code not in self.headers.get("Referer", ""):
                body = ""
            else:
                cells = "".join("<tr><td>%d</td><td><a href='//quote.eastmoney.com/unify/r/0.%s'>%s"
                                "</a></td><td>%s</td><td class='tor'>%.2f%%</td></tr>" % (
                                    i + 1, c, c, n, w) for i, (c, n, w, _) in enumerate(HOLDINGS))
                body = ('var apidata={ content:"<div class=\'box\'><h4 class=\'t\'><label>%s'
                        '2026年1季度股票投资明细</label><label class=\'right\'>截止至：<font>'
                        '2026-03-31</font></label></h4><table class=\'w782 comm tzxq\'><thead><tr>'
                        '<th>序号</th><th>股票代码</th><th>股票名称</th><th>占净值比例</th></tr>'
                        '</thead><tbody>%s</tbody></table></div>",arryear:[2026],curyear:2026};' % (
                            NAMES.get(code, ""), cells))
        elif url.path == "/api/qt/ulist.np/get":
            stamp = int(now.timestamp())
            diff = [{"f2": "-" if mode == "preopen" else 10.5,
                     "f3": "-" if mode == "preopen" else change, "f12": c, "f13": 0, "f14": n,
                     "f124": stamp} for c, n, _, change in HOLDINGS]
            body = json.dumps({"rc": 0, "data": {"total": len(diff), "diff": diff}},
                              ensure_ascii=False)
        elif url.path.startswith("/q="):
            lines = []
            for c, n, _, change in HOLDINGS:
                f = ["0"] * 40
                f[0], f[1], f[2], f[3] = "51", n, c, "10.5"
                f[30], f[32] = now.strftime("%Y%m%d%H%M%S"), "%.2f" % change
                lines.append('v_sz%s="%s";' % (c, "~".join(f)))
            data = "\n".join(lines).encode("gbk")
            self.send_response(200)
            self.send_header("Content-Type", "text/plain; charset=GBK")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data)
            return True
        else:
            return False
        if mode == "slow":
            import time
            time.sleep(60)
        if mode == "cut":
            body = body[:len(body) // 2]
        self.send(body, "application/javascript; charset=utf-8")
        return True

    def gone(self):
        """The portal's answer since its script estimate shut down."""
        self.send_response(301)
        self.send_header("Location", "https://fund.eastmoney.com/notfound.html")
        self.send_header("Content-Length", "0")
        self.end_headers()

    def send(self, body, content_type):
        data = body.encode("utf-8")
        self.send_response(200)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def send_json(self, value):
        self.send(json.dumps(value, ensure_ascii=False, separators=(",", ":")),
                  "application/json; charset=utf-8")

    def api_history(self, query):
        """/f10/lsjz: a page of the history as JSON, newest day first."""
        q = dict(urllib.parse.parse_qsl(query))
        code = q.get("fundCode", "")
        if not code or "jjjz_%s.html" % code not in self.headers.get("Referer", ""):
            self.send_json(REFUSED)
            return
        try:
            size = int(q.get("pageSize", ""))
        except ValueError:
            size = API_PAGE_CAP
        size = API_PAGE_CAP if size <= 0 else min(size, API_PAGE_CAP)
        try:
            index = max(1, int(q.get("pageIndex", "")))
        except ValueError:
            index = 1
        try:
            start = datetime.date.fromisoformat(q["startDate"]) if q.get("startDate") else None
            end = datetime.date.fromisoformat(q["endDate"]) if q.get("endDate") else None
        except ValueError:
            start, end = datetime.date.max, datetime.date.min  # matches no day

        def wanted(date_text):
            day = datetime.date.fromisoformat(date_text)
            return (start is None or start <= day) and (end is None or day <= end)

        if code == MONEY_FUND:
            rows = [money_fund_api_row(r) for r in money_fund_history() if wanted(r["date"])]
            fund_type, sy_type = "005", "每万份收益"
        else:
            rows = [api_row(r) for r in self.funds.get(code, []) if wanted(r["date"])]
            fund_type, sy_type = "001", None
        if not rows:
            fund_type, sy_type = "", None
        rows.reverse()  # newest first
        self.send_json({
            "Data": {"LSJZList": rows[(index - 1) * size:index * size], "FundType": fund_type,
                     "SYType": sy_type, "isNewType": False, "Feature": None},
            "ErrCode": 0, "ErrMsg": None, "TotalCount": len(rows), "Expansion": None,
            "PageSize": size, "PageIndex": index})

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        if self.estimates == "gone" and (url.path.startswith("/js/") and url.path != "/js/fundcode_search.js"
                                         or url.path == "/mm/newCore/FundValuationLast"):
            self.gone()
            return
        if self.estimate_answer(url):
            return
        if url.path == "/f10/lsjz":
            self.api_history(url.query)
            return
        if url.path.startswith("/pingzhongdata/") and url.path.endswith(".js"):
            code = url.path[len("/pingzhongdata/"):-3]
            if code == MONEY_FUND:
                script = money_fund_trend_script(money_fund_history())
            elif code in self.funds:
                script = trend_script(code, self.funds[code])
            else:
                self.send_error(404)
                return
            script += ('var Data_assetAllocation = {"series":[{"name":"股票占净比","data":[%.2f]}],'
                       '"categories":["2026-03-31"]};' % STOCK_SHARE)
            self.send(script, "application/javascript; charset=utf-8")
            return
        if url.path == "/f10/F10DataApi.aspx" and self.retired_table:
            # Since 2026 the table's address moves to one that is not there.
            host = self.headers.get("Host")
            target = "/F10DataApi.aspx" + ("?" + url.query if url.query else "")
            self.send_response(302)
            self.send_header("Location", ("http://%s%s" % (host, target)) if host else target)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
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
                        datetime.datetime.now(BEIJING).strftime("%Y-%m-%d %H:%M")))
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
    parser.add_argument("--retired-table", action="store_true",
                        help="redirect the HTML table to a page that is not there")
    parser.add_argument("--estimates", default="today",
                        choices=["today", "null", "stale", "preopen", "gone", "cut", "slow"],
                        help="how the live estimate sources answer")
    args = parser.parse_args()
    Handler.estimates = args.estimates
    Handler.funds = load_histories()
    Handler.page_cap = args.page_cap
    Handler.retired_table = args.retired_table
    print("serving %s and the money fund %s on 127.0.0.1:%d" % (
        ", ".join(sorted(Handler.funds)), MONEY_FUND, args.port), flush=True)
    ThreadingHTTPServer(("127.0.0.1", args.port), Handler).serve_forever()


if __name__ == "__main__":
    main()
