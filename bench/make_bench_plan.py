#!/usr/bin/env python3
"""Writes the benchmark plan of N rows, byte for byte the file that
Fixture::PlanPath in plan_bench.cpp saves: a wandering NAV, a few dividends,
conversions and suspended days. GBK, CR LF.

    bench/make_bench_plan.py N OUT.ini
"""
import math
import sys


def plan_text(n):
    lines = [
        "[设置]",
        "PCFirst=1",
        "Redeem=1",
        "KeepROP=1",
        "基金代码=000011",
        "资金总量=500000",
        "[特殊数据]",
        "行数=%d" % n,
        "Increase=0.00",
    ]
    nav = 1.0
    for i in range(1, n + 1):
        nav *= 1.0 + 0.012 * math.sin(i * 0.37) + 0.004 * math.cos(i * 1.9)
        if i % 250 == 0:
            conversion = "每份派现金0.0500元"
        elif i % 997 == 0:
            conversion = "每份基金份额折算1.023002965份"
        else:
            conversion = ""
        lines += [
            "[第%d行]" % i,
            "Date=%d/%d/%d" % (1950 + i // 250, 1 + i % 12, 1 + i % 28),
            "NetValue=%.4f" % nav,
            "PurchaseEnabled=" + ("暂停申购" if i % 97 == 0 else "开放申购"),
            "RedeemEnabled=开放赎回",
            "RedConversion=" + conversion,
        ]
    return "".join(line + "\r\n" for line in lines)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_bench_plan.py N OUT.ini")
    with open(sys.argv[2], "wb") as out:
        out.write(plan_text(int(sys.argv[1])).encode("gbk"))


if __name__ == "__main__":
    main()
