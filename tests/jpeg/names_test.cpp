// The codec's and the blit kernels' routines, tables and records keep the
// names their documentation uses, so that a reader finds each one by grep:
// every name below must stand as a whole word in the named sources.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const char* const kCodecNames[] = {
    "CpuKind", "JPEG_PROPERTIES", "JpegBgrYccH1V1Mcu", "JpegBgrYccH1V1Mmx", "JpegBgrYccH2V1Mcu", "JpegBgrYccH2V1Mmx",
    "JpegBgrYccH2V2Mcu", "JpegBgrYccH2V2Mmx", "JpegBindKernels", "JpegBufferedMcu", "JpegBufferedYcbcrMcu",
    "JpegClipMcu", "JpegCoefPlanes", "JpegColor", "JpegConvertMcuColour", "JpegConvertPictureColour",
    "JpegWritePlane", "JpegCopy3H1V1Mcu", "JpegCopy3H2V1Mcu", "JpegCopy3H2V2Mcu", "JpegCopy4H1V1Mcu", "JpegCopyMcu",
    "JpegCountAcFirst", "JpegCountAcRefine", "JpegCountDcFirst", "JpegCountEobRun", "JpegCvtCopy3", "JpegCvtGrayMmx",
    "JpegCvtGray", "JpegCvtPack422Mmx", "JpegCvtYcc420BgrMmx", "JpegCvtYcc420QuadMmx", "JpegCvtYcc420RgbMmx",
    "JpegCvtYcc422BgrMmx", "JpegCvtYcc422BgrSse", "JpegCvtYcc422QuadMmx", "JpegCvtYcc422RgbMmx",
    "JpegCvtYcc422RgbSse", "JpegCvtYcc444BgrMmx", "JpegCvtYcc444QuadMmx", "JpegCvtYcc444RgbMmx", "JpegCvtYcc444Rgb",
    "JpegCvtYcck420QuadMmx", "JpegCvtYcck422QuadMmx", "JpegCvtYcck444QuadMmx", "JpegDecodeAcFirst",
    "JpegDecodeAcRefine", "JpegDecodeBlockDc", "JpegDecodeBlockMmx2", "JpegDecodeBlockMmx", "JpegDecodeBlock",
    "JpegDecodeDcFirst", "JpegDecodeDcOnlyMmx", "JpegDecodeDcRefine", "JpegDecodeImage", "JpegDecodeProgressiveRoi",
    "JpegDecodeProgressive", "JpegDecodeSequentialRoi", "JpegDecodeSequential", "JpegDecodeStream",
    "JpegDecodeSymbol", "JpegDequantizeIntMmx", "JpegDequantizeIntSse2", "JpegDequantizeInt", "JpegDequantizeScaled",
    "JpegDeriveDecodeTable", "JpegDeriveEncodeTable", "JpegEdgeCopy3Quad", "JpegEdgeCopy3", "JpegEdgeCopy420",
    "JpegEdgeCopy422", "JpegEdgeCopy4", "JpegEdgeGray", "JpegEdgePack422", "JpegEdgeYcc420Bgr", "JpegEdgeYcc420Quad",
    "JpegEdgeYcc420Rgb", "JpegEdgeYcc422Bgr", "JpegEdgeYcc422Quad", "JpegEdgeYcc422Rgb", "JpegEdgeYcc444Bgr",
    "JpegEdgeYcc444Quad", "JpegEdgeYcc444Rgb", "JpegEdgeYcck420Quad", "JpegEdgeYcck422Quad", "JpegEdgeYcck444Quad",
    "JpegEmitCorrectionBits", "JpegEmitEobRun", "JpegEmitZrl", "JpegEncodeAcFirst", "JpegEncodeAcRefine",
    "JpegEncodeBaseline", "JpegEncodeBlockMmx", "JpegEncodeBlockSse", "JpegEncodeBlock", "JpegEncodeDcProgressive",
    "JpegEncodeProgressive", "JpegEobRunCategory", "JpegEobRunTable", "JpegErrorText", "JpegFdctIntMmx",
    "JpegFdctIntSse2", "JpegFdctIntSse", "JpegFdctInt", "JpegFdctScaledMmx", "JpegFdctScaled", "JpegFillBits",
    "JpegFillInput", "JpegFlushOutput", "JpegFrameComponent", "JpegFree", "JpegGenerateOptimalTable", "JpegGetBits",
    "JpegGetVersion", "JpegGreyMcu", "JpegGreyMmx", "JpegHuffDecodeTable", "JpegHuffEncodeTable", "JpegIdctIntEighth",
    "JpegIdctIntHalf", "JpegIdctIntMmx", "JpegIdctIntQuarter", "JpegIdctIntSse2", "JpegIdctIntSse", "JpegIdctInt",
    "JpegIdctScaledEighth", "JpegIdctScaledHalf", "JpegIdctScaledMmx", "JpegIdctScaledQuarter", "JpegIdctScaled",
    "JpegInBgrYccH1V1", "JpegInBgrYccH2V1", "JpegInBgrYccH2V2", "JpegInCopy3H1V1", "JpegInCopy3H2V1",
    "JpegInCopy3H2V2", "JpegInCopy4H1V1", "JpegInCopySubsampled", "JpegInCopy", "JpegInFourToYcc", "JpegInGrey",
    "JpegInPacked422", "JpegInRgbToGrey", "JpegInRgbYccH1V1", "JpegInRgbYccH2V1", "JpegInRgbYccH2V2", "JpegInStream",
    "JpegInYcckH1V1", "JpegInYcckH2V1", "JpegInYcckH2V2", "JpegInit", "JpegIoType", "JpegJob", "JpegKernelTable",
    "JpegLibVersion", "JpegMagnitudeCategory", "JpegMagnitudeTable", "JpegNextMarker", "JpegOutCopy3Quad",
    "JpegOutCopy3", "JpegOutCopy420", "JpegOutCopy422", "JpegOutCopy4", "JpegOutGray", "JpegOutPack422",
    "JpegOutYcc420Bgr", "JpegOutYcc420Quad", "JpegOutYcc420Rgb", "JpegOutYcc422Bgr", "JpegOutYcc422Quad",
    "JpegOutYcc422Rgb", "JpegOutYcc444Bgr", "JpegOutYcc444Quad", "JpegOutYcc444Rgb", "JpegOutYcck420Quad",
    "JpegOutYcck422Quad", "JpegOutYcck444Quad", "JpegOutputMcu", "JpegOutputScaledMcu", "JpegOutputStream",
    "JpegPacked422Mcu", "JpegPacked422Mmx", "JpegPacked422Sse", "JpegPeekBits", "JpegPickCpu",
    "JpegPrepareDequantInt", "JpegPrepareDequantScaled", "JpegPrepareQuantRecip", "JpegPrepareQuantScaled",
    "JpegPrepare", "JpegPutBitsFile", "JpegPutBitsMem", "JpegPutBitsMmxFile", "JpegPutBitsMmxMem", "JpegPutBytesMmx",
    "JpegQuantizeRecipMmx", "JpegQuantizeRecipSse2", "JpegQuantizeRecipSse", "JpegQuantizeRecip",
    "JpegQuantizeScaledMmx", "JpegQuantizeScaled", "JpegReadApp0", "JpegReadApp14", "JpegReadComment",
    "JpegReadFrameHeader", "JpegReadHuffmanTables", "JpegReadQuantTables", "JpegReadRestartInterval",
    "JpegReadScanHeader", "JpegReadSegment", "JpegReadWord", "JpegRead", "JpegRefillFileMmx", "JpegResetInput",
    "JpegRestartCheck", "JpegRgbYccH1V1Mcu", "JpegRgbYccH1V1Mmx", "JpegRgbYccH2V1Mcu", "JpegRgbYccH2V1Mmx",
    "JpegRgbYccH2V2Mcu", "JpegRgbYccH2V2Mmx", "JpegRoiIndex", "JpegRoiRecord", "JpegRoiRestore",
    "JpegScaleQuantTable", "JpegScanComponent", "JpegScanState", "JpegScan", "JpegSeekMarker",
    "JpegSelectInputConverter", "JpegSelectOutputConverter", "JpegSetupTables", "JpegSkipSegment", "JpegSmoothMcu",
    "JpegStartScan", "JpegStatus", "JpegTakeBytes", "JpegWriteApp0", "JpegWriteApp14", "JpegWriteComment",
    "JpegWriteDhtAll", "JpegWriteDhtOne", "JpegWriteDqt", "JpegWriteDri", "JpegWriteEoi", "JpegWriteFullBuffer",
    "JpegWriteHeaders", "JpegWriteRst", "JpegWriteSof0", "JpegWriteSof2", "JpegWriteSoi", "JpegWriteSosScan",
    "JpegWriteSos", "JpegWriteTables", "JpegWrite", "JpegYcckH1V1Mcu", "JpegYcckH1V1Mmx", "JpegYcckH2V1Mcu",
    "JpegYcckH2V1Mmx", "JpegYcckH2V2Mcu", "JpegYcckH2V2Mmx", "McuSampleBuffer", "ScaledDequantFactor",
    "ScaledQuantBase", "ZigzagToNatural", "colorConversion", "cvtCopy3Quad", "cvtCopy3", "cvtCopy420", "cvtCopy422",
    "cvtCopy4", "cvtGray", "cvtPack422", "cvtYcc420Bgr", "cvtYcc420Quad", "cvtYcc420Rgb", "cvtYcc422Bgr",
    "cvtYcc422Quad", "cvtYcc422Rgb", "cvtYcc444Bgr", "cvtYcc444Quad", "cvtYcc444Rgb", "cvtYcck420Quad",
    "cvtYcck422Quad", "cvtYcck444Quad", "dibChannels", "dibColor", "dibHeight", "dibPixels", "dibRowPadding",
    "dibSubsampling", "dibWidth", "ioType", "jpegBufferSize", "jpegBuffer", "jpegChannels", "jpegColor",
    "jpegFileName", "jpegHeight", "jpegSubsampling", "jpegWidth", "jpeg_comment", "quality", "resampling",
    "thumbHeight", "thumbWidth", "useInternal",
};

const char* const kBlitNames[] = {
    "Add16Level", "Add16", "AddAlphaLevel", "AddAlpha", "AddPaletteLevel", "AddPalette", "AlphaCopy", "AlphaLevel",
    "AlphaMaskLevel", "AlphaMask", "Blend16", "BlitAdd", "BlitNormal", "CPicture", "Copy16", "FillAddLevel",
    "FillAddSolid", "FillAdd", "FillBlend", "FillColor", "FillSolid", "PaletteBlend", "PaletteCopy",
};

std::string ReadSources(const fs::path& dir) {
  std::string all;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string ext = e.path().extension().string();
    if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    all += text.str();
    all += '\n';
  }
  return all;
}

bool IsWordChar(char c) { return std::isalnum((unsigned char)c) || c == '_'; }

bool HasWord(const std::string& text, const std::string& word) {
  for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
    const bool startOk = at == 0 || !IsWordChar(text[at - 1]);
    const size_t end = at + word.size();
    if (startOk && (end == text.size() || !IsWordChar(text[end]))) return true;
  }
  return false;
}

TEST(Names, EveryDocumentedNameIsFoundInTheSources) {
  const fs::path root(VELMI_SOURCE_DIR);
  const struct {
    const char* folder;
    const char* const* names;
    size_t count;
  } groups[] = {
      {"jpeg", kCodecNames, std::size(kCodecNames)},
      {"player/core", kBlitNames, std::size(kBlitNames)},
  };
  for (const auto& g : groups) {
    const std::string text = ReadSources(root / g.folder);
    ASSERT_FALSE(text.empty()) << g.folder;
    for (size_t i = 0; i < g.count; ++i) EXPECT_TRUE(HasWord(text, g.names[i])) << g.names[i] << " in " << g.folder;
  }
}

TEST(Names, WordSearchNeedsWholeWords) {
  EXPECT_TRUE(HasWord("x JpegRead(y)", "JpegRead"));
  EXPECT_FALSE(HasWord("JpegReadWord", "JpegRead"));
  EXPECT_FALSE(HasWord("MyJpegRead", "JpegRead"));
}

}  // namespace
