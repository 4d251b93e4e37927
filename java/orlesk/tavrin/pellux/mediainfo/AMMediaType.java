package orlesk.tavrin.pellux.mediainfo;

/** A DirectShow media type. GUIDs are in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}". */
public class AMMediaType {
    private final String majorType;
    private final String subType;
    private final boolean fixedSizeSamples;
    private final boolean temporalCompression;
    private final int sampleSize;
    private final Format format;

    public AMMediaType(String majorType, String subType, boolean fixedSizeSamples, boolean temporalCompression,
            int sampleSize, Format format) {
        this.majorType = majorType;
        this.subType = subType;
        this.fixedSizeSamples = fixedSizeSamples;
        this.temporalCompression = temporalCompression;
        this.sampleSize = sampleSize;
        this.format = format;
    }

    public String getMajorType() { return majorType; }
    public String getSubType() { return subType; }
    public boolean isFixedSizeSamples() { return fixedSizeSamples; }
    public boolean isTemporalCompression() { return temporalCompression; }
    public int getSampleSize() { return sampleSize; }
    /** The format block, or null when the type has none the library understands. */
    public Format getFormat() { return format; }

    @Override
    public String toString() {
        return "AMMediaType[major " + majorType + ", sub " + subType + ", fixed " + fixedSizeSamples
                + ", temporal " + temporalCompression + ", sample size " + sampleSize + ", " + format + "]";
    }
}
