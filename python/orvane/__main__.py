"""The package's command line: python3 -m orvane plot RESULTS.csv -o PICTURE.png

Draws the picture of orvane.plot from the csv that `orvane --format csv` (or
InversionResult.to_csv) wrote. Exit code 0 on success, 1 when the csv cannot be
read or the picture not written, 2 for a usage error.
"""
import argparse
import os
import sys


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m orvane",
                                     description="Tools of the orvane package.")
    commands = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")
    plot = commands.add_parser("plot", help="draw the results of a csv file",
                               description="Draws f(t) with its predicted error band and the "
                                           "relative errors of a csv written by orvane --format csv.")
    plot.add_argument("csv", help="the results, as orvane --format csv writes them")
    plot.add_argument("-o", "--output", required=True,
                      help="the picture to write; its extension picks the format (png, pdf, svg, ...); "
                           "a folder: RESULTS.png in it")
    plot.add_argument("--rel-err", type=float, default=None,
                      help="the requested relative error, drawn as a line (the csv does not hold it)")
    plot.add_argument("--title", default=None, help="a title above the picture")
    plot.add_argument("--dpi", type=float, default=150, help="resolution of a raster picture (default 150)")
    args = parser.parse_args(argv)

    from .inversion import read_csv
    from .plotting import plot_result
    try:
        result = read_csv(args.csv)
    except (OSError, ValueError) as error:
        print(f"python3 -m orvane plot: {error}", file=sys.stderr)
        return 1
    try:
        figure = plot_result(result, requested=args.rel_err, title=args.title)
    except ValueError as error:
        print(f"python3 -m orvane plot: {args.csv}: {error}", file=sys.stderr)
        return 1
    output = args.output
    if os.path.isdir(output):
        # A folder: the picture goes into it, named after the csv.
        output = os.path.join(output, os.path.splitext(os.path.basename(args.csv))[0] + ".png")
    try:
        figure.savefig(output, dpi=args.dpi)
    except (OSError, ValueError) as error:
        print(f"python3 -m orvane plot: cannot write {output}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
