package orlesk.tavrin.pellux.mediainfo;

/** A DVINFO format block: the DV audio and video auxiliary words. */
public class DVInfo extends Format {
    private final int audioAuxSource;
    private final int audioAuxControl;
    private final int audioAuxSource1;
    private final int audioAuxControl1;
    private final int videoAuxSource;
    private final int videoAuxControl;

    public DVInfo(int audioAuxSource, int audioAuxControl, int audioAuxSource1, int audioAuxControl1,
            int videoAuxSource, int videoAuxControl) {
        this.audioAuxSource = audioAuxSource;
        this.audioAuxControl = audioAuxControl;
        this.audioAuxSource1 = audioAuxSource1;
        this.audioAuxControl1 = audioAuxControl1;
        this.videoAuxSource = videoAuxSource;
        this.videoAuxControl = videoAuxControl;
    }

    public int getAudioAuxSource() { return audioAuxSource; }
    public int getAudioAuxControl() { return audioAuxControl; }
    public int getAudioAuxSource1() { return audioAuxSource1; }
    public int getAudioAuxControl1() { return audioAuxControl1; }
    public int getVideoAuxSource() { return videoAuxSource; }
    public int getVideoAuxControl() { return videoAuxControl; }

    @Override
    public String toString() {
        return String.format("DVInfo[audio %08X/%08X %08X/%08X, video %08X/%08X]", audioAuxSource,
                audioAuxControl, audioAuxSource1, audioAuxControl1, videoAuxSource, videoAuxControl);
    }
}
