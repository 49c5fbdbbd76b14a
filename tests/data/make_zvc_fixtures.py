"""Writes the .zvc style-file fixtures of this folder (also the fuzz seed corpus).
Run from anywhere: python3 make_zvc_fixtures.py"""

import os

here = os.path.dirname(os.path.abspath(__file__))


def save(name, lines):
    with open(os.path.join(here, name), "wb") as f:
        f.write("".join(line + "\r\n" for line in lines).encode("cp932"))


HEAD = ["[ZOVAAF_CSS_HEAD]", "Head=ZovaVessilorFile", "Ver=1"]

# Every declaration switched on, every value different from the defaults.
ALL_ON = [
    ("szName", "全部入り"), ("szComment", "一行目\t[CRLF]\t二行目"), ("szTagID", "zv"), ("szLastCss", "all.css"),
    ("bFrameWidth", 1), ("nFrameWidth", 600), ("szFrameWidthUnit", "%"),
    ("bFrameBorder", 1), ("szFrameBorderStyle", "dashed"), ("nFrameBorder", 2), ("szFrameBorderColor", "#112233"),
    ("bFrameTextColor", 1), ("szFrameTextColor", "#010203"),
    ("bFrameBackColor", 1), ("szFrameBackColor", "#F0F0F0"),
    ("bFrameFontSize", 1), ("nFrameFontSize", 12), ("szFrameFontSizeUnit", "pt"),
    ("bFrameFontBorld", 1), ("bFrameFontItalic", 1),
    ("bFrameMargin", 1), ("nFrameMarginLeft", 1), ("nFrameMarginRight", 2), ("nFrameMarginTop", 3),
    ("nFrameMarginBottom", 4),
    ("bDataHori", 1), ("szDataHori", "center"), ("bDataVert", 1), ("szDataVert", "middle"),
    ("bAdvWidth", 1), ("nAdvWidth", 150), ("szAdvWidthUnit", "px"),
    ("bAdvHeight", 1), ("nAdvHeight", 90), ("szAdvHeightUnit", "%"),
    ("bAdvBorder", 1), ("szAdvBorderStyle", "dotted"), ("nAdvBorder", 3), ("szAdvBorderColor", "#445566"),
    ("bAdvTextColor", 1), ("szAdvTextColor", "#111111"),
    ("bAdvBackColor", 1), ("szAdvBackColor", "#222222"),
    ("bAdvFontSize", 1), ("nAdvFontSize", 13), ("szAdvFontSizeUnit", "em"),
    ("bAdvFontBorld", 1), ("bAdvFontItalic", 1),
    ("bAdvPadding", 1), ("nAdvPaddingLeft", 5), ("nAdvPaddingRight", 6), ("nAdvPaddingTop", 7),
    ("nAdvPaddingBottom", 8),
    ("bAdvMargin", 1), ("nAdvMarginLeft", 9), ("nAdvMarginRight", 10), ("nAdvMarginTop", 11),
    ("nAdvMarginBottom", 12),
    ("bTitleHori", 1), ("szTitleHori", "right"), ("bTitleTextColor", 1), ("szTitleTextColor", "#333333"),
    ("bTitleBackColor", 1), ("szTitleBackColor", "#444444"),
    ("bTitleFontSize", 1), ("nTitleFontSize", 14), ("szTitleFontSizeUnit", "ex"),
    ("bTitleFontBorld", 1), ("bTitleFontItalic", 1),
    ("bCommentHori", 1), ("szCommentHori", "center"), ("bCommentTextColor", 1), ("szCommentTextColor", "#555555"),
    ("bCommentBackColor", 1), ("szCommentBackColor", "#666666"),
    ("bCommentFontSize", 1), ("nCommentFontSize", 15), ("szCommentFontSizeUnit", "px"),
    ("bCommentFontBorld", 1), ("bCommentFontItalic", 1),
    ("bBannerHori", 1), ("szBannerHori", "right"), ("bBannerTextColor", 1), ("szBannerTextColor", "#777777"),
    ("bBannerBackColor", 1), ("szBannerBackColor", "#888888"),
    ("bBannerFontSize", 1), ("nBannerFontSize", 16), ("szBannerFontSizeUnit", "%"),
    ("bBannerFontBorld", 1), ("bBannerFontItalic", 1),
    ("bUnUsePrLink", 0),
    ("bPrHori", 1), ("szPrHori", "center"), ("bPrBackColor", 1), ("szPrBackColor", "#999999"),
    ("bPrFontSize", 1), ("nPrFontSize", 10), ("szPrFontSizeUnit", "px"),
    ("bPrLinkTextColor", 1), ("szPrLinkTextColor", "#AAAAAA"), ("bPrLinkFontBorld", 1), ("bPrLinkFontItalic", 1),
    ("bPrVisitedTextColor", 1), ("szPrVisitedTextColor", "#BBBBBB"), ("bPrVisitedFontBorld", 1),
    ("bPrVisitedFontItalic", 1),
    ("bPrHoverTextColor", 1), ("szPrHoverTextColor", "#CCCCCC"), ("bPrHoverFontBorld", 1),
    ("bPrHoverFontItalic", 1),
    ("bPrActiveTextColor", 1), ("szPrActiveTextColor", "#DDDDDD"), ("bPrActiveFontBorld", 1),
    ("bPrActiveFontItalic", 1),
    ("nCols", 3), ("bRowRest", 1), ("nRows", 2), ("nAdv1", 3), ("nAdv2", 0), ("nAdv3", 1),
]
assert len(ALL_ON) == 121

save("style_header_only.zvc", HEAD)
save("style_all_on.zvc", HEAD + ["[ZOVAAF_CSS_DATA]"] + [f"{k}={v}" for k, v in ALL_ON])
save("style_bad_signature.zvc", ["[ZOVAAF_CSS_HEAD]", "Head=zovavessilorfile", "Ver=1", "[ZOVAAF_CSS_DATA]",
                                 "szTagID=x"])
