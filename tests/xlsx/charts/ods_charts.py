#!/usr/bin/python3
"""Lists the charts of an unpacked OpenDocument spreadsheet, one line per sheet
that shows a chart object, as LibreOffice stored them:

  <sheet>: <class> [stacked] [percentage] [vertical] "<title>";
  <axis> title "<title>" [turned]; <axis> scale <minimum> to <maximum>;
  categories <range>; domain <range>;
  <series class> [(secondary)] <range> "<label>"|unnamed; ...

where <axis> is LibreOffice's name of the axis (primary-x, secondary-y, ...);
an axis title, a scale with a bound set, categories and domain only when
present ("auto" for a bound not set). ods_charts.py FOLDER; a sheet holding
more than one object prints one line for each."""

import os
import sys
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True

NS = {
    "table": "urn:oasis:names:tc:opendocument:xmlns:table:1.0",
    "draw": "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0",
    "xlink": "http://www.w3.org/1999/xlink",
    "chart": "urn:oasis:names:tc:opendocument:xmlns:chart:1.0",
    "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
    "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
    "office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
    "loext": "urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0",
}


def q(prefixed):
    prefix, local = prefixed.split(":")
    return "{%s}%s" % (NS[prefix], local)


def short(chart_class):
    return chart_class.split(":", 1)[1] if chart_class.startswith("chart:") else chart_class


def chart_properties(root, element):
    """The chart properties of the element's automatic style, or {}."""
    name = element.get(q("chart:style-name"))
    for style in root.iterfind(".//office:automatic-styles/style:style", NS):
        if style.get(q("style:name")) == name:
            props = style.find("style:chart-properties", NS)
            return props.attrib if props is not None else {}
    return {}


def describe(object_folder):
    root = ET.parse(os.path.join(object_folder, "content.xml")).getroot()
    chart = root.find(".//chart:chart", NS)
    words = [short(chart.get(q("chart:class"), "?"))]
    plot_area = chart.find("chart:plot-area", NS)
    props = chart_properties(root, plot_area)
    for flag in ("stacked", "percentage", "vertical"):
        if props.get(q("chart:" + flag)) == "true":
            words.append(flag)
    title = chart.find("chart:title/text:p", NS)
    parts = [" ".join(words) + ' "%s"' % ("".join(title.itertext()) if title is not None else "")]
    for axis in plot_area.iterfind("chart:axis", NS):
        name = axis.get(q("chart:name"))
        axis_title = axis.find("chart:title", NS)
        if axis_title is not None:
            turned = chart_properties(root, axis_title).get(q("style:rotation-angle"), "0") != "0"
            parts.append('%s title "%s"%s' % (name, "".join(axis_title.itertext()),
                                             " turned" if turned else ""))
        bounds = [chart_properties(root, axis).get(q("chart:" + bound), "auto")
                  for bound in ("minimum", "maximum")]
        if bounds != ["auto", "auto"]:
            parts.append("%s scale %s to %s" % (name, bounds[0], bounds[1]))
        for categories in axis.iterfind("chart:categories", NS):
            parts.append("categories " + categories.get(q("table:cell-range-address")))
    for series in plot_area.iterfind("chart:series", NS):
        for domain in series.iterfind("chart:domain", NS):
            parts.append("domain " + domain.get(q("table:cell-range-address")))
        secondary = series.get(q("chart:attached-axis")) == "secondary-y"
        parts.append("%s%s %s %s" % (short(series.get(q("chart:class"), "?")),
                                     " (secondary)" if secondary else "",
                                     series.get(q("chart:values-cell-range-address")),
                                     series.get(q("loext:label-string"), "unnamed")))
    return "; ".join(parts)


def main():
    folder = sys.argv[1]
    content = ET.parse(os.path.join(folder, "content.xml")).getroot()
    for table in content.iterfind(".//table:table", NS):
        for obj in table.iterfind(".//draw:object", NS):
            href = obj.get(q("xlink:href"))
            target = os.path.join(folder, href[2:] if href.startswith("./") else href)
            print("%s: %s" % (table.get(q("table:name")), describe(target)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
