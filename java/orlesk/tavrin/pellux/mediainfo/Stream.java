package orlesk.tavrin.pellux.mediainfo;

/** One stream of a media file. */
public class Stream {
    private final AMMediaType mediaType;
    private final double frameRate;
    private final long length;

    public Stream(AMMediaType mediaType, double frameRate, long length) {
        this.mediaType = mediaType;
        this.frameRate = frameRate;
        this.length = length;
    }

    public AMMediaType getMediaType() { return mediaType; }
    /** Frames per second, or -1.0 when the stream has no frame rate (audio). */
    public double getFrameRate() { return frameRate; }
    /** Length in 100-nanosecond units. */
    public long getLength() { return length; }

    @Override
    public String toString() {
        return "Stream[" + mediaType + ", " + frameRate + " fps, length " + length + "]";
    }
}
