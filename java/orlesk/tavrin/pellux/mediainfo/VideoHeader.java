package orlesk.tavrin.pellux.mediainfo;

/** A VIDEOINFOHEADER format block with its BITMAPINFOHEADER. */
public class VideoHeader extends Format {
    private final int sourceLeft, sourceTop, sourceRight, sourceBottom;
    private final int targetLeft, targetTop, targetRight, targetBottom;
    private final int bitRate;
    private final int bitErrorRate;
    private final long averageTimePerFrame;
    private final int width;
    private final int height;
    private final short planes;
    private final short bitCount;
    private final int compression;
    private final int sizeImage;
    private final int xPelsPerMeter;
    private final int yPelsPerMeter;
    private final int colorsUsed;
    private final int colorsImportant;

    public VideoHeader(int sourceLeft, int sourceTop, int sourceRight, int sourceBottom, int targetLeft,
            int targetTop, int targetRight, int targetBottom, int bitRate, int bitErrorRate,
            long averageTimePerFrame, int width, int height, short planes, short bitCount, int compression,
            int sizeImage, int xPelsPerMeter, int yPelsPerMeter, int colorsUsed, int colorsImportant) {
        this.sourceLeft = sourceLeft;
        this.sourceTop = sourceTop;
        this.sourceRight = sourceRight;
        this.sourceBottom = sourceBottom;
        this.targetLeft = targetLeft;
        this.targetTop = targetTop;
        this.targetRight = targetRight;
        this.targetBottom = targetBottom;
        this.bitRate = bitRate;
        this.bitErrorRate = bitErrorRate;
        this.averageTimePerFrame = averageTimePerFrame;
        this.width = width;
        this.height = height;
        this.planes = planes;
        this.bitCount = bitCount;
        this.compression = compression;
        this.sizeImage = sizeImage;
        this.xPelsPerMeter = xPelsPerMeter;
        this.yPelsPerMeter = yPelsPerMeter;
        this.colorsUsed = colorsUsed;
        this.colorsImportant = colorsImportant;
    }

    public int getSourceLeft() { return sourceLeft; }
    public int getSourceTop() { return sourceTop; }
    public int getSourceRight() { return sourceRight; }
    public int getSourceBottom() { return sourceBottom; }
    public int getTargetLeft() { return targetLeft; }
    public int getTargetTop() { return targetTop; }
    public int getTargetRight() { return targetRight; }
    public int getTargetBottom() { return targetBottom; }
    public int getBitRate() { return bitRate; }
    public int getBitErrorRate() { return bitErrorRate; }
    /** Average time per frame in 100-nanosecond units. */
    public long getAverageTimePerFrame() { return averageTimePerFrame; }
    public int getWidth() { return width; }
    /** Positive for a bottom-up bitmap, negative for a top-down one. */
    public int getHeight() { return height; }
    public int getPlanes() { return planes & 0xFFFF; }
    public int getBitCount() { return bitCount & 0xFFFF; }
    public int getCompression() { return compression; }
    public int getSizeImage() { return sizeImage; }
    public int getXPelsPerMeter() { return xPelsPerMeter; }
    public int getYPelsPerMeter() { return yPelsPerMeter; }
    public int getColorsUsed() { return colorsUsed; }
    public int getColorsImportant() { return colorsImportant; }

    @Override
    public String toString() {
        return String.format("VideoHeader[%dx%d, %d bits, compression %08X, %d bytes, %d/10000000 s per frame,"
                + " %d bit/s, source (%d,%d,%d,%d), target (%d,%d,%d,%d)]", width, height, getBitCount(),
                compression, sizeImage, averageTimePerFrame, bitRate, sourceLeft, sourceTop, sourceRight,
                sourceBottom, targetLeft, targetTop, targetRight, targetBottom);
    }
}
