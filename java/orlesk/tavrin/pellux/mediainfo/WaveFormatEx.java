package orlesk.tavrin.pellux.mediainfo;

/** A WAVEFORMATEX format block. 16-bit fields carry their unsigned bits in a short. */
public class WaveFormatEx extends Format {
    private final int formatTag;
    private final short channels;
    private final int samplesPerSecond;
    private final int averageBytesPerSecond;
    private final short blockAlign;
    private final short bitsPerSample;

    public WaveFormatEx(int formatTag, short channels, int samplesPerSecond, int averageBytesPerSecond,
            short blockAlign, short bitsPerSample) {
        this.formatTag = formatTag;
        this.channels = channels;
        this.samplesPerSecond = samplesPerSecond;
        this.averageBytesPerSecond = averageBytesPerSecond;
        this.blockAlign = blockAlign;
        this.bitsPerSample = bitsPerSample;
    }

    public int getFormatTag() { return formatTag; }
    public int getChannels() { return channels & 0xFFFF; }
    public int getSamplesPerSecond() { return samplesPerSecond; }
    public long getAverageBytesPerSecond() { return averageBytesPerSecond & 0xFFFFFFFFL; }
    public int getBlockAlign() { return blockAlign & 0xFFFF; }
    public int getBitsPerSample() { return bitsPerSample & 0xFFFF; }

    @Override
    public String toString() {
        return String.format("WaveFormatEx[tag %d, %d channels, %d Hz, %d bytes/s, align %d, %d bits]",
                formatTag, getChannels(), samplesPerSecond, getAverageBytesPerSecond(), getBlockAlign(),
                getBitsPerSample());
    }
}
